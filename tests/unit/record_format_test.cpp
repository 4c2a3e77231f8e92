// The recording's lines as a replay reads them: escaping, numbers, a record of each kind, the
// flushing of long lines, and the thumbnail.
#include "infra/trv_params.h"
#include "record/record_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using trv::JsonLine;

bool Append(void* to, const char* data, size_t size) {
    static_cast<std::string*>(to)->append(data, size);
    return true;
}

// The line `write` builds, through a buffer of `capacity` bytes.
std::string Line(const std::function<void(JsonLine&)>& write, size_t capacity = 256) {
    std::string out;
    std::vector<char> buffer(capacity);
    JsonLine j(buffer.data(), capacity, Append, &out);
    write(j);
    EXPECT_TRUE(j.End());
    EXPECT_EQ(j.Written(), out.size());
    return out;
}

TEST(RecordFormat, TextNumbersAndBytes) {
    struct Case {
        std::function<void(JsonLine&)> write;
        const char* line;
    };
    const Case cases[] = {
        {[](JsonLine& j) { j.Text("a\"b\\c\n\r\t\x01\x7f\xe9z", 64); },
         "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u007f\\u00e9z\"\n"},
        {[](JsonLine& j) { j.Text("serial-number-16xyz", 16); }, "\"serial-number-16\"\n"},
        {[](JsonLine& j) { j.Wide(u"\u00e9\u20ac\xd800!", 8); }, "\"\\u00e9\\u20ac\\ud800!\"\n"},
        {[](JsonLine& j) {
             const char32_t units[] = {0x1f600, 0x110000, 0}; // a pair; no code point
             j.Wide(units, 8);
         },
         "\"\\ud83d\\ude00\\ufffd\"\n"},
        {[](JsonLine& j) {
             j.OpenArray();
             j.Wide(static_cast<const char16_t*>(nullptr), 8);
             j.Text(nullptr, 8);
             j.CloseArray();
         },
         "[null,null]\n"},
        {[](JsonLine& j) {
             j.OpenArray();
             j.Int(INT64_MIN);
             j.Int(-1);
             j.UInt(UINT64_MAX);
             j.Bool(false);
             j.Null();
             j.CloseArray();
         },
         "[-9223372036854775808,-1,18446744073709551615,false,null]\n"},
        {[](JsonLine& j) {
             j.OpenArray();
             for (double d : {30.0, 0.1, 1e-7, -0.0, HUGE_VAL, -HUGE_VAL, std::nan("")}) {
                 j.Double(d);
             }
             j.CloseArray();
         },
         "[30,0.1,1e-07,-0,\"inf\",\"-inf\",\"nan\"]\n"},
        {[](JsonLine& j) {
             j.Open();
             j.Key("a").Address(0);
             j.Key("b").Address(0x1400039f0);
             j.Key("c").Hex("\x00\x0f\xf0\xff", 4);
             j.Key("d").Open();
             j.Close();
             j.Key("e").OpenArray();
             j.CloseArray();
             j.Close();
         },
         "{\"a\":null,\"b\":\"0x1400039f0\",\"c\":\"000ff0ff\",\"d\":{},\"e\":[]}\n"},
        {[](JsonLine& j) {
             const int32_t words[3] = {-2, 7, 0x7fffffff};
             const double doubles[2] = {0.01, 1000};
             j.OpenArray();
             j.Int32Array(words, 11); // the rest of the third word is left out
             j.UInt32Array(words, 4);
             j.DoubleArray(doubles, sizeof doubles);
             j.CloseArray();
         },
         "[[-2,7],[4294967294],[0.01,1000]]\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Line(c.write), c.line);
    }
    // Every double reads back as itself.
    for (double d : {0.1 + 0.2, 1.0 / 3, 5e-324, 1.7976931348623157e308, 123456789.012345678}) {
        const std::string text = Line([d](JsonLine& j) { j.Double(d); });
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
    }
}

// A line longer than the buffer reaches the sink whole, in pieces; a failed write is reported.
TEST(RecordFormat, LongLinesAndFailedWrites) {
    const std::string text(1000, 'x');
    auto write = [&](JsonLine& j) {
        j.Open();
        j.Key("text").Text(text.c_str(), 2000);
        j.Close();
    };
    EXPECT_EQ(Line(write, 7), Line(write, 4096));
    EXPECT_EQ(Line(write, 7), "{\"text\":\"" + text + "\"}\n");
    char buffer[16];
    int calls = 0;
    JsonLine j(
        buffer, sizeof buffer,
        [](void* n, const char*, size_t) { return ++*static_cast<int*>(n) != 2; }, &calls);
    write(j);
    EXPECT_FALSE(j.End());
    EXPECT_EQ(j.Written(), text.size() + 12);
}

TEST(RecordFormat, RecordOfEachKind) {
    const trv::rec::Stamp s = {7, 1500, 2, 3};
    const std::u16string dir = u"C:\\cfg\\";
    auto cb = reinterpret_cast<TrvFrameCallback>(0x1234);
    TrvStartParams start = {};
    start.nSizeX = 640;
    start.nSizeY = 480;
    start.frameCallback = cb;
    const std::wstring wdir(dir.begin(), dir.end());
    start.pszConfigDir = wdir.c_str();
    start.nFocusType = 3;
    const std::wstring section = L"video";
    start.pszSection = section.c_str();
    TrvAoiParams aoi = {1, 8, 4, 99, 32, 24};
    TrvPraxControlParams control = {1, 80};
    TrvPraxCamResParams res = {0.0055, 0.25};
    TrvTimingParams timing = {30, 0.5};
    const std::wstring name(300, L'n'); // read no further than the plug-in reads: 260 units
    uint8_t thumb[trv::rec::kThumbBytes] = {};
    thumb[0] = 0xab;
    const std::u16string logLine = u"TrvCmd: _TRV_DSHOW_CMD_LOAD";
    const auto addr = [](const void* p) { return reinterpret_cast<intptr_t>(p); };
    const std::string stamp = "\"n\":7,\"t\":1500,\"th\":2,\"ts\":3,";

    struct Case {
        const char* kind;
        std::function<void(JsonLine&)> fields;
        std::string rest;
    };
    const Case cases[] = {
        {"thread", [](JsonLine& j) { trv::rec::ThreadFields(j, 208, "camera"); },
         "\"tid\":208,\"role\":\"camera\""},
        {"cmd", [&](JsonLine& j) { trv::rec::CommandFields(j, 5, addr(&start)); },
         "\"code\":5,\"name\":\"_TRV_DSHOW_CMD_START\",\"in\":{\"frameCallback\":\"0x1234\","
         "\"errorCallback\":null,\"configDir\":\"C:\\\\cfg\\\\\",\"focusType\":3,"
         "\"camFileName\":null,\"section\":\"video\"}"},
        {"ret", [&](JsonLine& j) { trv::rec::ReturnFields(j, 5, addr(&start), 1, 9000); },
         "\"code\":5,\"r\":1,\"out\":{\"nSizeX\":640,\"nSizeY\":480},\"us\":9000"},
        {"cmd", [&](JsonLine& j) { trv::rec::CommandFields(j, 45, addr(&aoi)); },
         "\"code\":45,\"name\":\"_TRV_DSHOW_CMD_AOI\",\"in\":{\"nMode\":1,\"x\":8,\"y\":4,"
         "\"width\":32,\"height\":24}"},
        {"ret", [&](JsonLine& j) { trv::rec::ReturnFields(j, 45, addr(&aoi), 0, 5); },
         "\"code\":45,\"r\":0,\"out\":{\"x\":8,\"y\":4,\"width\":32,\"height\":24},\"us\":5"},
        {"cmd", [&](JsonLine& j) { trv::rec::CommandFields(j, 43, addr(&control)); },
         "\"code\":43,\"name\":\"_TRV_DSHOW_CMD_PRAX_CONTROL\",\"in\":{\"nType\":1,\"dPercent\":"
         "80}"},
        {"ret", [&](JsonLine& j) { trv::rec::ReturnFields(j, 44, addr(&res), 1, 3); },
         "\"code\":44,\"r\":1,\"out\":{\"dResX\":0.0055,\"dResY\":0.25},\"us\":3"},
        {"ret", [&](JsonLine& j) { trv::rec::ReturnFields(j, 46, addr(&timing), 1, 4); },
         "\"code\":46,\"r\":1,\"out\":{\"dFrameRate\":30,\"dExposure\":0.5},\"us\":4"},
        {"cmd", [&](JsonLine& j) { trv::rec::CommandFields(j, 42, addr(name.c_str())); },
         "\"code\":42,\"name\":\"_TRV_DSHOW_CMD_RESET_CONFIG\",\"in\":{\"name\":\"" +
             std::string(260, 'n') + "\"}"},
        {"cmd", [](JsonLine& j) { trv::rec::CommandFields(j, 15, intptr_t{0x100000032}); },
         "\"code\":15,\"name\":\"_TRV_DSHOW_CMD_SET_EXPOSURE\",\"in\":{\"arg\":50}"},
        {"cmd", [](JsonLine& j) { trv::rec::CommandFields(j, 46, 0); },
         "\"code\":46,\"name\":\"_TRV_DSHOW_CMD_GET_TIMING\",\"in\":{\"arg\":0}"},
        {"ret", [](JsonLine& j) { trv::rec::ReturnFields(j, 46, 0, 1, 2); },
         "\"code\":46,\"r\":1,\"out\":null,\"us\":2"},
        {"cmd", [](JsonLine& j) { trv::rec::CommandFields(j, -1, -5); },
         "\"code\":-1,\"in\":{\"arg\":-5}"},
        {"ev", [](JsonLine& j) { trv::rec::EventFields(j, 3, 1); }, "\"code\":3,\"cam\":1"},
        {"frame", [&](JsonLine& j) { trv::rec::FrameFields(j, 9, &start, 64, 48, 9216, thumb); },
         "\"no\":9,\"pixels\":true,\"width\":64,\"height\":48,\"size\":9216,\"thumb\":\"ab" +
             std::string(/* 16 x 12 pixels of 3 bytes */ 16 * 12 * 3 * 2 - 2, '0') + "\""},
        {"frame",
         [](JsonLine& j) { trv::rec::FrameFields(j, 10, nullptr, 64, 48, 9216, nullptr, 7); },
         "\"no\":10,\"pixels\":false,\"width\":64,\"height\":48,\"size\":9216,\"taken\":7"},
        {"log", [&](JsonLine& j) { trv::rec::LogFields(j, logLine.c_str(), 11, true); },
         "\"text\":\"TrvCmd: _TR\",\"cut\":true"},
        {"end", [](JsonLine& j) { trv::rec::EndFields(j, "cap", 8, 4100); },
         "\"why\":\"cap\",\"records\":8,\"bytes\":4100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Line([&](JsonLine& j) {
                      trv::rec::BeginRecord(j, c.kind, s);
                      c.fields(j);
                      j.Close();
                  }),
                  "{\"k\":\"" + std::string(c.kind) + "\"," + stamp + c.rest + "}\n");
    }
    const trv::rec::Header<char16_t> h = {"1.0.0",
                                          "2026-01-31T09:15:02.123Z",
                                          42,
                                          "RecordFile",
                                          u"C:\\s.ini",
                                          u"video",
                                          u"C:\\r.jsonl",
                                          4096,
                                          30};
    EXPECT_EQ(
        Line([&](JsonLine& j) { trv::rec::WriteHeader(j, h); }),
        "{\"k\":\"header\",\"format\":1,\"n\":0,\"t\":0,\"plugin\":\"1.0.0\",\"started\":"
        "\"2026-01-31T09:15:02.123Z\",\"pid\":42,\"chosenBy\":\"RecordFile\",\"settingsFile\":"
        "\"C:\\\\s.ini\",\"section\":\"video\",\"file\":\"C:\\\\r.jsonl\",\"maxBytes\":4096,"
        "\"thumbEvery\":30,\"thumbSize\":[16,12]}\n");
}

// Each thumbnail pixel is the rounded mean of its cell's samples, in the frame's byte order.
TEST(RecordFormat, Thumbnail) {
    struct Case {
        int32_t width, height;
        int cx, cy;   // a thumbnail pixel
        uint8_t b, g; // its first two bytes: the mean x and y of its samples
    };
    // 32 x 24: cells of 2 x 2 pixels; 4 x 3: one pixel each; 1000 x 600: 8 of 62 or 63 columns.
    for (const Case& c :
         {Case{32, 24, 0, 0, 1, 1}, Case{32, 24, 15, 11, 31, 23}, Case{4, 3, 5, 7, 1, 1},
          Case{4, 3, 15, 11, 3, 2}, Case{1000, 600, 1, 1, 89, 72}}) {
        std::vector<uint8_t> frame(static_cast<size_t>(c.width) * c.height * 3);
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                uint8_t* p = &frame[(static_cast<size_t>(y) * c.width + x) * 3];
                p[0] = static_cast<uint8_t>(x % 256);
                p[1] = static_cast<uint8_t>(y % 256);
                p[2] = 200;
            }
        }
        uint8_t thumb[trv::rec::kThumbBytes];
        ASSERT_TRUE(trv::rec::MakeThumbnail(frame.data(), c.width, c.height,
                                            static_cast<int32_t>(frame.size()), thumb));
        const uint8_t* p = thumb + (c.cy * trv::rec::kThumbWidth + c.cx) * 3;
        EXPECT_EQ(p[0], c.b) << c.width << " " << c.cx;
        EXPECT_EQ(p[1], c.g) << c.height << " " << c.cy;
        EXPECT_EQ(p[2], 200);
        // A size short of the frame, or no frame: no thumbnail.
        EXPECT_FALSE(trv::rec::MakeThumbnail(frame.data(), c.width, c.height,
                                             static_cast<int32_t>(frame.size()) - 1, thumb));
    }
    uint8_t thumb[trv::rec::kThumbBytes];
    EXPECT_FALSE(trv::rec::MakeThumbnail(nullptr, 4, 3, 36, thumb));
    EXPECT_FALSE(trv::rec::MakeThumbnail(thumb, 0, 3, 36, thumb));
    EXPECT_FALSE(trv::rec::MakeThumbnail(thumb, 4, 0, 36, thumb));
}

} // namespace

// Reading a recording back for a replay: what is refused and why, and where the replay lets a
// frame event happen: where the frame path decided it.
#include "replay/replay_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace trv::replay;

const std::string kHeader = "{\"k\":\"header\",\"format\":1,\"n\":0,\"t\":0}\n";

std::string Line(int n, int th, int ts, const std::string& kind, const std::string& rest = "") {
    return "{\"k\":\"" + kind + "\",\"n\":" + std::to_string(n) + ",\"t\":" + std::to_string(n) +
           ",\"th\":" + std::to_string(th) + ",\"ts\":" + std::to_string(ts) + rest + "}\n";
}

std::string End(int n) {
    return "{\"k\":\"end\",\"n\":" + std::to_string(n) + ",\"th\":0,\"ts\":0}\n";
}

TEST(ReplayPlan, RecordingsThatCannotBeReplayedSayWhy) {
    const std::string host = Line(1, 1, 1, "thread", ",\"role\":\"host\"");
    const std::string log = Line(2, 1, 2, "log", ",\"text\":\"a\"");
    struct Case {
        std::string text;
        bool partial;
        Fault fault;
        const char* why;
    };
    const Case cases[] = {
        {"", false, Fault::NotRecording, "the file is empty"},
        {"{\"k\":\"cmd\"}\n", false, Fault::NotRecording, "line 1 is not a recording's header"},
        {"{\"k\":\"header\",\"format\":2,\"n\":0}\n", false, Fault::Version,
         "line 1: format 2, this replay reads format 1"},
        {kHeader + host + log, false, Fault::Truncated, "line 4: no end record"},
        {kHeader + host + log.substr(0, 20), false, Fault::Truncated,
         "line 3: the last line is cut"},
        {kHeader + host + log + End(3).substr(0, 30), false, Fault::Truncated, "line 4: the last"},
        {kHeader + host + Line(3, 1, 2, "log") + End(3), false, Fault::Reordered,
         "line 3: record number 3 where 2 belongs"},
        {kHeader + host + Line(2, 1, 3, "log") + End(3), false, Fault::Reordered,
         "line 3: thread 1's record 3 where 2 belongs"},
        {kHeader + Line(1, 1, 1, "log") + End(2), false, Fault::Malformed,
         "line 2: thread 1 begins without its thread record"},
        {kHeader + host + "{\"k\":\"log\",\"n\":2\n" + End(3), false, Fault::Malformed,
         "line 3: not JSON"},
        {kHeader + host +
             Line(2, 1, 2, "log", ",\"a\":" + std::string(20, '[') + std::string(20, ']')) + End(3),
         false, Fault::Malformed, "line 3: nested deeper than a record"},
        {kHeader + host + End(2) + log, false, Fault::Malformed, "line 4: a record after the end"},
        {kHeader + host + log + Line(3, 1, 3, "log").substr(0, 9), true, Fault::None, ""},
    };
    for (const Case& c : cases) {
        Recording rec;
        const ReadError e = ReadRecording(c.text, c.partial, rec);
        EXPECT_EQ(e.fault, c.fault) << c.text;
        EXPECT_EQ(e.text.rfind(c.why, 0), 0u) << e.text;
    }
    Recording rec;
    ASSERT_EQ(
        ReadRecording(kHeader + host + log + Line(3, 1, 3, "log").substr(0, 9), true, rec).fault,
        Fault::None);
    EXPECT_EQ(rec.records.size(), 2u) << "up to the last whole record";
}

TEST(ReplayPlan, FrameEventsGoWhereTheFramePathDecidedThem) {
    auto cmd = [](int n, int ts, int code) {
        return Line(n, 1, ts, "cmd", ",\"code\":" + std::to_string(code) + ",\"in\":{\"arg\":0}");
    };
    auto ret = [](int n, int ts, int code) {
        return Line(n, 1, ts, "ret", ",\"code\":" + std::to_string(code) + ",\"r\":1");
    };
    auto call = [](int n, int th, int ts) {
        return Line(n, th, ts, "call", ",\"fn\":\"is_X\",\"in\":{},\"r\":0,\"out\":{}");
    };
    auto ev = [](int n, int ts) { return Line(n, 2, ts, "ev", ",\"code\":0,\"cam\":1"); };
    auto drop = [](int n, int ts, const char* why) {
        return Line(n, 2, ts, "drop", std::string(",\"why\":\"") + why + "\"");
    };
    const std::string text =
        kHeader + Line(1, 1, 1, "thread", ",\"role\":\"host\"") +
        Line(2, 2, 1, "thread", ",\"role\":\"camera\"") +
        // A frame taken under the lock only after the command before it returned (record 5).
        cmd(3, 2, 46) + ev(4, 2) + ret(5, 3, 46) + Line(6, 2, 3, "frame", ",\"no\":1,\"taken\":5") +
        // Dropped under a command's lock after its last call: handled before that call.
        cmd(7, 4, 15) + call(8, 1, 5) + ev(9, 4) + drop(10, 5, "lock") + ret(11, 6, 15) +
        // Dropped before the command that held the lock was written: after it.
        ev(12, 6) + drop(13, 7, "lock") + cmd(14, 7, 44) + call(15, 1, 8) + ret(16, 9, 44) +
        // Skipped for the newer frame queued behind it.
        ev(17, 8) + drop(18, 9, "newer") + ev(19, 10) +
        Line(20, 2, 11, "frame", ",\"no\":2,\"taken\":19") +
        // A setting that changes is written when its thread passes the gate before the read.
        Line(21, 1, 10, "setting",
             ",\"file\":\"config\",\"section\":\"video\",\"key\":\"trigger\","
             "\"value\":2") +
        cmd(22, 11, 8) +
        Line(23, 1, 12, "setting",
             ",\"file\":\"config\",\"section\":\"video\",\"key\":\"trigger\","
             "\"value\":1") +
        ret(24, 13, 8) +
        // A stream switch counts the frames after its last call, up to the line that ends its wait.
        cmd(25, 14, 32) + ev(26, 12) + drop(27, 13, "lock") + call(28, 1, 15) + ev(29, 14) +
        drop(30, 15, "lock") +
        Line(31, 1, 16, "log", ",\"text\":\"MySetStreamId success t=5 count=5\"") + ev(32, 16) +
        drop(33, 17, "lock") + ret(34, 17, 32) + End(35);
    Recording rec;
    ASSERT_EQ(ReadRecording(text, false, rec).fault, Fault::None);
    Plan plan;
    std::string error;
    ASSERT_TRUE(BuildPlan(rec, plan, error)) << error;
    EXPECT_FALSE(plan.recordedOrder);
    std::vector<uint64_t> order;
    for (size_t i : plan.order) {
        order.push_back(rec.records[i].n);
    }
    EXPECT_EQ(order, (std::vector<uint64_t>{3,  5,  4,  6,  7,  9,  10, 8,  11, 14, 12,
                                            13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                            25, 26, 27, 28, 29, 30, 31, 32, 33, 34}));
    EXPECT_EQ(plan.waitingThread[25] + plan.waitingThread[31], 0) << "records 26 and 32";
    EXPECT_EQ(plan.waitingThread[28], 1) << "record 29";
    EXPECT_TRUE(plan.skipHead[16]) << "record 17";
    EXPECT_FALSE(plan.skipHead[18]) << "record 19";
    ASSERT_EQ(plan.initial.size(), 1u);
    EXPECT_EQ(plan.initial[0].value, "2");
    ASSERT_EQ(plan.afterGate.count(21), 1u) << "the gate of record 22";
    EXPECT_EQ(plan.afterGate[21][0].value, "1");
}

} // namespace

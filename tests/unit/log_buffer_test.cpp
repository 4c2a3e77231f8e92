#include "infra/log_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Buffer = std::vector<char16_t>;

bool AppendText(Buffer& buf, const std::u16string& text) {
    return trv::LogAppend(buf.data(), buf.size(), text.size(), [&](size_t i) { return text[i]; });
}

std::u16string Contents(const Buffer& buf) {
    return std::u16string(buf.data(), trv::LogTextLength(buf.data(), buf.size()));
}

Buffer Empty() {
    return Buffer(trv::kLogCapacity, 0);
}

TEST(LogBuffer, PieceSizeLimit) {
    EXPECT_TRUE(trv::LogPieceFits(0));
    EXPECT_TRUE(trv::LogPieceFits(4999));
    EXPECT_FALSE(trv::LogPieceFits(5000));
    EXPECT_FALSE(trv::LogPieceFits(static_cast<size_t>(-1)));
}

TEST(LogBuffer, FullSizePieceFillsEmptyBuffer) {
    Buffer buf = Empty();
    const std::u16string text(4999, u'x');
    ASSERT_TRUE(AppendText(buf, text));
    EXPECT_EQ(Contents(buf), text);
    EXPECT_EQ(buf[4999], 0);
    EXPECT_FALSE(AppendText(buf, u"y"));
    EXPECT_TRUE(AppendText(buf, u"")) << "an empty piece still fits: only its terminator";
}

TEST(LogBuffer, ExactFitAndOneTooMany) {
    struct Case {
        size_t length;
        bool appended;
    };
    for (const Case c : {Case{9, true}, Case{10, false}, Case{0, true}}) {
        Buffer buf = Empty();
        const std::u16string prefix(trv::kLogCapacity - 1 - 9, u'a');
        ASSERT_TRUE(AppendText(buf, prefix));
        const std::u16string piece(c.length, u'b');
        EXPECT_EQ(AppendText(buf, piece), c.appended) << c.length;
        EXPECT_EQ(Contents(buf), c.appended ? prefix + piece : prefix) << c.length;
    }
}

TEST(LogBuffer, AppendsAfterExistingText) {
    Buffer buf = Empty();
    ASSERT_TRUE(AppendText(buf, u"abc"));
    ASSERT_TRUE(AppendText(buf, u"de\n"));
    EXPECT_EQ(Contents(buf), u"abcde\n");
}

TEST(LogBuffer, UnterminatedBufferTakesNothing) {
    // A writer that broke the terminator must not make us write past the end.
    Buffer buf(16, u'z');
    EXPECT_EQ(trv::LogTextLength(buf.data(), buf.size()), 16u);
    EXPECT_FALSE(AppendText(buf, u""));
    EXPECT_EQ(buf, Buffer(16, u'z'));
}

TEST(LogBuffer, FillsToCapacityThenDropsEverything) {
    Buffer buf = Empty();
    size_t accepted = 0;
    for (int i = 0; i < 6000; ++i) {
        accepted += AppendText(buf, u"q") ? 1 : 0;
    }
    EXPECT_EQ(accepted, 4999u);
    EXPECT_EQ(trv::LogTextLength(buf.data(), buf.size()), 4999u);
}

} // namespace

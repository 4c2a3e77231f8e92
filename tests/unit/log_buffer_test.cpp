#include "infra/log_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Buffer = std::vector<char16_t>;

bool AppendText(Buffer& buf, const std::u16string& text) {
    return trv::LogAppend(buf.data(), buf.size(), text.size(), [&](size_t i) { return text[i]; });
}

// A piece goes in whole, with its terminator, or not at all; the buffer holds 4999 units.
TEST(LogBuffer, ExactFitOneTooManyAndABrokenTerminator) {
    EXPECT_TRUE(trv::LogPieceFits(4999));
    EXPECT_FALSE(trv::LogPieceFits(5000));
    struct Case {
        size_t used, length;
        bool appended;
    };
    for (const Case c : {Case{0, 4999, true}, Case{0, 5000, false}, Case{4990, 9, true},
                         Case{4990, 10, false}, Case{4999, 0, true}, Case{4999, 1, false}}) {
        Buffer buf(trv::kLogCapacity, 0);
        const std::u16string prefix(c.used, u'a');
        ASSERT_TRUE(AppendText(buf, prefix));
        ASSERT_TRUE(AppendText(buf, u""));
        const std::u16string piece(c.length, u'b');
        EXPECT_EQ(AppendText(buf, piece), c.appended) << c.used << "+" << c.length;
        const std::u16string want = c.appended ? prefix + piece : prefix;
        EXPECT_EQ(std::u16string(buf.data(), trv::LogTextLength(buf.data(), buf.size())), want);
        EXPECT_EQ(buf[want.size()], 0) << c.used << "+" << c.length;
    }
    Buffer broken(16, u'z'); // a writer broke the terminator: nothing may be written past it
    EXPECT_EQ(trv::LogTextLength(broken.data(), broken.size()), 16u);
    EXPECT_FALSE(AppendText(broken, u""));
    EXPECT_EQ(broken, Buffer(16, u'z'));
}

} // namespace

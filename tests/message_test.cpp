#include <gtest/gtest.h>

#include "platform/message.h"

namespace velkor {
namespace {

// A path or a reason from the system may hold marker-like text; it must reach the user as it is.
TEST(Message, FillsEveryMarkerOnceSoAValueHoldingAMarkerStaysAsItIs) {
    EXPECT_EQ(Message("映像文件 %1 只有 %2 字节").Arg("/media/card%1.img").Arg(std::int64_t{300}).Utf8(),
              "映像文件 /media/card%1.img 只有 300 字节");
    EXPECT_EQ(Message("%1 and %2").Arg("%2", "x").Utf8(), "%2 and x");
    EXPECT_EQ(Message("%1%%1").Arg("a").Utf8(), "a%a") << "a percent sign before a marker is kept";
}

TEST(Message, TheNthValueFillsTheNthLowestMarkerWhereverATranslationPutsIt) {
    EXPECT_EQ(Message("%2 of %1, %2 again").Arg(3).Arg(7).Utf8(), "7 of 3, 7 again");
    EXPECT_EQ(Message("%10 after %9").Arg("nine", "ten").Utf8(), "ten after nine");
    EXPECT_EQ(Message("%1 and %3").Arg("a").Utf8(), "a and %3") << "a marker without a value stays";
    EXPECT_EQ(Message("no markers").Arg("x").Utf8(), "no markers");
    EXPECT_EQ(Message("100%").Utf8(), "100%");
}

TEST(Message, FormatsNumbersThePointWayAndPadsWholeNumbers) {
    EXPECT_EQ(Message("%1 MB/s").Fixed(12.345, 1).Utf8(), "12.3 MB/s");
    EXPECT_EQ(Message("%1").Fixed(2.0, 2).Utf8(), "2.00");
    EXPECT_EQ(Message("%1 分 %2 秒").Arg(3).Padded(7, 2, '0').Utf8(), "3 分 07 秒");
    EXPECT_EQ(Message("%1").Padded(123, 2, '0').Utf8(), "123");
    EXPECT_EQ(FixedText(-0.004, 2), "-0.00");
}

TEST(Message, JoinedTextsKeepTheirOwnValues) {
    Message text = Message("%1 done").Arg(5);
    text += Message("\n%1 failed").Arg(2);
    EXPECT_EQ(text.Utf8(), "5 done\n2 failed");
    EXPECT_EQ((Message("a%1").Arg("%1") + Message("b")).Utf8(), "a%1b");
}

}  // namespace
}  // namespace velkor

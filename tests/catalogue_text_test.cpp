// Reading the catalogue's source form without a toolkit: what counts as a translation,
// and the character references XML allows in it.
#include "platform/catalogue_text.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

TEST(CatalogueText, TakesFinishedTranslationsOnlyAndResolvesReferences) {
    const std::string text = R"(<?xml version="1.0" encoding="utf-8"?>
<TS version="2.1" language="en_US">
<context>
    <name>Words</name>
    <message>
        <source>扫描</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>第 %1 个 &amp; &lt;它&gt;</source>
        <translation>No. %1 &amp; &apos;it&apos; &quot;&#x4E2D;&#25991;&quot;
second line</translation>
    </message>
    <message>
        <source>保存</source>
        <translation type="unfinished">Save</translation>
    </message>
    <message>
        <source>旧的</source>
        <translation type="vanished">Old</translation>
    </message>
    <message>
        <source>空的</source>
        <translation></translation>
    </message>
    <message>
        <source>无</source>
        <translation/>
    </message>
    <message>
        <source>&bogus; &#xZZ;</source>
        <translation>kept as written</translation>
    </message>
</context>
</TS>
)";
    const std::map<std::string, std::string> expected = {
        {"扫描", "Scan"},
        {"第 %1 个 & <它>", "No. %1 & 'it' \"中文\"\nsecond line"},
        {"&bogus; &#xZZ;", "kept as written"},
    };
    EXPECT_EQ(ReadCatalogueText(text), expected);
}

TEST(CatalogueText, ACatalogueCutShortGivesWhatCameBeforeTheCut) {
    const std::string whole = "<message><source>a</source><translation>A</translation></message>"
                              "<message><source>b</source><translation>B</translation></message>";
    EXPECT_EQ(ReadCatalogueText(whole.substr(0, whole.size() - 20)), (std::map<std::string, std::string>{{"a", "A"}}));
    EXPECT_TRUE(ReadCatalogueText("").empty());
    EXPECT_TRUE(ReadCatalogueText("<message><source>x</source><translation>").empty());
}

}  // namespace
}  // namespace velkor

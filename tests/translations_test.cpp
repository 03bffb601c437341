// The window's two languages: the Chinese texts are the keys and the default, the
// English catalogue covers every one of them, and the window and Qt's own dialogs
// speak the language chosen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "platform/files.h"
#include "platform/catalogue_text.h"
#include "platform/window_runtime_qt.h"
#include "shell/main_window.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::ScratchDir;

// Source text -> translation of every message in a catalogue file; unfinished ones map to "".
std::map<QString, QString> MessagesIn(const std::string& path) {
    const ByteSet bytes = ReadWholeFile(path);
    QXmlStreamReader xml(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    std::map<QString, QString> messages;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"source") source = xml.readElementText();
        if (xml.name() == u"translation") {
            const bool unfinished = xml.attributes().value(QStringLiteral("type")) == QStringLiteral("unfinished");
            const QString translation = xml.readElementText();
            messages[source] = unfinished ? QString() : translation;
        }
    }
    EXPECT_FALSE(xml.hasError()) << path << ": " << xml.errorString().toStdString();
    return messages;
}

std::set<QString> Placeholders(const QString& text) {
    std::set<QString> found;
    for (const QRegularExpressionMatch& match : QRegularExpression(QStringLiteral("%\\d")).globalMatch(text)) {
        found.insert(match.captured());
    }
    return found;
}

const std::string kCatalogue = std::string(VELKOR_SOURCE_DIR) + "/translations/velkor_en.ts";

TEST(EnglishCatalogue, TranslatesEveryTextTheSourcesUseAndKeepsTheirPlaceholders) {
    ScratchDir scratch;
    const std::string extracted = scratch.File("extracted.ts");
    const std::string source = VELKOR_SOURCE_DIR;
    const testing::CommandResult run = testing::RunCommand(std::string(VELKOR_LUPDATE) + " -no-obsolete -locations none " +
                                                           source + "/carving " + source + "/shell " + source +
                                                           "/platform -ts " + extracted);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::map<QString, QString> current = MessagesIn(extracted);
    const std::map<QString, QString> catalogue = MessagesIn(kCatalogue);
    ASSERT_GT(current.size(), 50u) << "lupdate found the window's texts";
    for (const auto& [text, unused] : current) {
        const auto found = catalogue.find(text);
        ASSERT_NE(found, catalogue.end()) << "not in translations/velkor_en.ts (run lupdate): " << text.toStdString();
        EXPECT_FALSE(found->second.isEmpty()) << "untranslated: " << text.toStdString();
        EXPECT_EQ(Placeholders(found->second), Placeholders(text)) << text.toStdString();
    }
    EXPECT_EQ(catalogue.size(), current.size()) << "the catalogue holds texts the sources no longer use";
}

// Where no Qt runs, the catalogue's source form is read directly; it must read as Qt's XML reader does.
TEST(EnglishCatalogue, ReadWithoutQtAsQtReadsIt) {
    const ByteSet bytes = ReadWholeFile(kCatalogue);
    const std::map<std::string, std::string> read =
        ReadCatalogueText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::map<std::string, std::string> expected;
    for (const auto& [source, translation] : MessagesIn(kCatalogue)) {
        if (!translation.isEmpty()) expected[source.toStdString()] = translation.toStdString();
    }
    ASSERT_GT(expected.size(), 50u);
    EXPECT_EQ(read, expected);
}

TEST(Language, EnglishOnlyForAnEnglishPreferenceAndChineseOtherwise) {
    EXPECT_EQ(ChooseLanguage({"en_GB.UTF-8"}), "en");
    EXPECT_EQ(ChooseLanguage({"de_DE", "en"}), "en") << "the first language the window has";
    EXPECT_EQ(ChooseLanguage({"zh_CN.UTF-8", "en_US"}), "zh_CN");
    EXPECT_EQ(ChooseLanguage({"C"}), "zh_CN");
    EXPECT_EQ(ChooseLanguage({"C.UTF-8"}), "zh_CN");
    EXPECT_EQ(ChooseLanguage({"POSIX"}), "zh_CN");
    EXPECT_EQ(ChooseLanguage({"fr_FR"}), "zh_CN");
    EXPECT_EQ(ChooseLanguage({}), "zh_CN");
    setenv("LANGUAGE", "de:en_US", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("LC_MESSAGES", "", 1);
    setenv("LANG", "", 1);
    EXPECT_EQ(UserLanguagePreferences(), (std::vector<std::string>{"de", "en_US", "C.UTF-8"}));
    unsetenv("LANGUAGE");
    EXPECT_EQ(ChooseLanguage(UserLanguagePreferences()), "zh_CN") << "the tests' own fixed locale";
}

class WindowLanguage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    void TearDown() override { UseLanguage("zh_CN"); }

    // The texts a user meets first: the Scan button, the first menu and Qt's own Yes button.
    static std::vector<QString> FirstTexts() {
        MainWindow shell;
        QtMainForm& window = QtWindowOf(shell.Form());
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        return {window.findChild<QPushButton*>(QStringLiteral("按钮1"))->text(),
                window.menuBar()->actions().value(0)->text(), box.button(QMessageBox::Yes)->text(),
                window.windowTitle()};
    }
};

TEST_F(WindowLanguage, ChineseTextsStandUnderChineseAndTheCLocale) {
    ASSERT_TRUE(UseLanguage(ChooseLanguage({"C.UTF-8"})));
    const std::vector<QString> texts = FirstTexts();
    EXPECT_EQ(texts[0], "扫描");
    EXPECT_EQ(texts[1], "恢复");
    EXPECT_TRUE(texts[2].contains("是")) << "Qt's own buttons speak Chinese too: " << texts[2].toStdString();
    EXPECT_EQ(texts[3], "Velkor v1.4（Ostrand）");
}

TEST_F(WindowLanguage, EnglishIsSpokenWhenChosen) {
    ASSERT_TRUE(UseLanguage("en"));
    const std::vector<QString> texts = FirstTexts();
    EXPECT_EQ(texts[0], "Scan");
    EXPECT_EQ(texts[1], "Recover");
    EXPECT_TRUE(texts[2].contains("Yes")) << texts[2].toStdString();
    EXPECT_EQ(texts[3], "Velkor v1.4 (Ostrand)");
    ASSERT_TRUE(UseLanguage("zh_CN"));
    EXPECT_EQ(FirstTexts()[0], "扫描") << "switching back drops the English catalogue";
}

}  // namespace
}  // namespace velkor

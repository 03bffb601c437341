#pragma once
// A fixture for suites that drive the real main window over the three-picture card
// of MakeThreePictureCard, with picvet in a scratch program directory.
#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/window_runtime_qt.h"
#include "shell/main_window.h"
#include "tests/support/qt_support.h"
#include "tests/support/test_support.h"

namespace velkor::testing {

class WindowOnCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void TearDown() override {
        window_.reset();
        UseDiscoveredDriveTable();
    }

    // Makes the card as media file name and opens the window on it.
    void OpenOnCard(const std::string& name) {
        image_ = media_.File(name);
        pictures_ = MakeThreePictureCard(image_);
        window_ = std::make_unique<MainWindow>();
        window_->Form().Show();
    }

    template <typename T>
    T* Find(const char* name) const {
        T* control = Widget().template findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    // The window as the Qt widget a user sees.
    QtMainForm& Widget() const { return QtWindowOf(window_->Form()); }
    QtTreeBox& Tree() const { return *Find<QtTreeBox>("树型框1"); }

    // Clicks Scan; the card's three pictures must be listed and "扫描完成" said once.
    void Scan() {
        Find<QPushButton>("按钮1")->click();
        ASSERT_EQ(answerer_.Count("扫描完成"), 1);
        ASSERT_EQ(Tree().Count(), 3);
        answerer_.messages.clear();
    }
    // Clicks Save and answers the folder chooser with directory.
    void Save(const std::string& directory) {
        answerer_.chooseFolder = [directory] { return QString::fromStdString(directory); };
        Find<QPushButton>("按钮3")->click();
    }

    ScratchProgramDirectory programDir_;
    ScratchDir media_;
    std::string image_;
    std::vector<ByteSet> pictures_;
    std::unique_ptr<MainWindow> window_;
    ModalAnswerer answerer_;
};

}  // namespace velkor::testing

#pragma once
// A fixture for suites that drive the real main window over the three-picture card
// of MakeThreePictureCard, with picvet in a scratch program directory.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
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
        delete window_.data();
        UseDiscoveredDriveTable();
    }

    // Makes the card as media file name and opens the window on it.
    void OpenOnCard(const std::string& name) {
        image_ = media_.File(name);
        pictures_ = MakeThreePictureCard(image_);
        window_ = new MainWindow;
        window_->setAttribute(Qt::WA_DeleteOnClose);
        window_->show();
    }

    template <typename T>
    T* Find(const char* name) const {
        T* control = window_->template findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
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
    QPointer<MainWindow> window_;
    ModalAnswerer answerer_;
};

}  // namespace velkor::testing

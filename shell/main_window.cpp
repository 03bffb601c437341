#include "shell/main_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <memory>

#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime_qt.h"
#include "carving/progress_display.h"
#include "carving/result_tree.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 634;
constexpr int kClientHeight = 455;
constexpr int kTimerInterval = 200;
// How often the drive box looks for drives plugged in or pulled out.
constexpr int kDriveWatchInterval = 1000;
constexpr std::int64_t kWaitBeforeExitMs = 500;

QPointer<MainWindow> gMainWindow;

// "宋体" where it exists; the CJK fonts Debian ships stand in for it elsewhere.
QFont SongFont() {
    QFont font(QStringLiteral("宋体"));
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// Images named on the command line that could not be offered as drives are told
// once, when the window opens, never dropped silently.
void TellImagesNotOffered(Window* window) {
    const std::vector<std::string> notOffered = ImagesNotOffered();
    if (notOffered.empty()) return;
    Message text = Words::tr("以下映像文件无法作为驱动器列出：");
    for (const std::string& line : notOffered) text += Message("\n" + line);
    ShowWarning(window, text, Words::tr("映像文件无法打开"));
}

}  // namespace

MainWindow::MainWindow() {
    setWindowTitle(ToQString(WindowTitle()));
    CreateControls();
    CreateMenus();
    WireEvents();
    Created();
}

void MainWindow::CreateControls() {
    client_ = new QtWindow(this);
    client_->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client_);
    const QFont song = SongFont();
    驱动器框1 = Place(new QtDriveBox(client_), "驱动器框1", 5, 8, 139, 22);
    驱动器框1->setFont(song);
    按钮1 = Place(new QtButton(ToQString(ScanCaption()), client_), "按钮1", 148, 8, 56, 24);
    按钮3 = Place(new QtButton(ToQString(Words::tr("保存")), client_), "按钮3", 214, 8, 56, 24);
    进度条1 = Place(new QtProgressBar(client_), "进度条1", 288, 8, 288, 22);
    进度条1->setRange(0, 100);
    进度条1->setValue(0);
    进度条1->setTextVisible(false);
    透明标签1 = Place(new QtLabel(client_), "透明标签1", 586, 8, 43, 22);
    透明标签1->setAttribute(Qt::WA_TranslucentBackground);
    透明标签1->setFont(song);
    树型框1 = Place(new QtTreeBox(client_), "树型框1", 5, 40, 139, 392);
    树型框1->setFont(song);
    图片框1 = Place(new QtPictureBox(client_), "图片框1", 145, 40, 488, 392);
    状态条1 = Place(new QWidget(client_), "状态条1", 0, 435, 634, 20);
    driveStatus_ = Place(new QtLabel(状态条1), "状态条1.1", 0, 0, 144, 20);
    resultStatus_ = Place(new QtLabel(状态条1), "状态条1.2", 146, 0, 488, 20);
    代码编辑框1 = Place(new QtTextStore(client_), "代码编辑框1", 504, 56, 56, 272);
    代码编辑框1->hide();
    目录编辑框1 = Place(new QtDirectoryEditBox(client_), "目录编辑框1", 288, 472, 72, 24);
    动画物体1 = Place(new QtMeasuringControl(图片框1), "动画物体1", 150, 703, 1, 1);
    动画物体1->hide();
    时钟1 = new QtTimer(this);
    时钟1->setObjectName(QStringLiteral("时钟1"));
    时钟1->setInterval(kTimerInterval);
    driveWatch_ = new QtTimer(this);
    driveWatch_->setInterval(kDriveWatchInterval);
}

void MainWindow::CreateMenus() {
    recoverMenu_ = menuBar()->addMenu(ToQString(Words::tr("恢复")));
    recoverMenu_->setObjectName(QStringLiteral("恢复"));
    recoverMenu_->addAction(ToQString(Words::tr("全选")), QKeySequence(QStringLiteral("Ctrl+A")), [this] { SelectAllEntries(*树型框1); });
    recoverMenu_->addAction(ToQString(Words::tr("反选")), QKeySequence(QStringLiteral("Ctrl+Shift+A")),
                            [this] { UntickAllEntries(*树型框1); });
    recoverMenu_->addSeparator();
    recoverMenu_->addAction(ToQString(Words::tr("保存文件")), QKeySequence(QStringLiteral("Ctrl+S")), [this] { SaveTickedPictures(Save()); });
    recoverMenu_->addAction(ToQString(Words::tr("退出")), QKeySequence(QStringLiteral("Ctrl+Q")), [this] { ExitWithConfirmation(); });
    QMenu* about = menuBar()->addMenu(ToQString(Words::tr("关于")));
    about->setObjectName(QStringLiteral("关于"));
    about->addAction(ToQString(Words::tr("关于我们")), [this] { ShowAbout(); });
}

void MainWindow::WireEvents() {
    connect(驱动器框1, &QComboBox::currentIndexChanged, this, [this] { DriveChanged(); });
    connect(按钮1, &QPushButton::clicked, this, [this] { ScanButtonAction(Scan()); });
    connect(按钮3, &QPushButton::clicked, this, [this] { SaveTickedPictures(Save()); });
    connect(时钟1, &QTimer::timeout, this, [this] { TimerTick(); });
    connect(driveWatch_, &QTimer::timeout, this, [this] { WatchDrives(); });
    driveWatch_->start();
    connect(树型框1, &QTreeWidget::currentItemChanged, this, [this] { Preview(Scan()); });
    connect(树型框1, &QWidget::customContextMenuRequested, this, [this] { PopUpMenu(recoverMenu_); });
    时钟1->start();
}

void MainWindow::Created() { DriveChanged(); }

void MainWindow::DriveChanged() {
    SelectDrive(*驱动器框1);
    // The drive table is read from the system, so only a drive change refreshes its part.
    ShowDriveStatus();
    ShowResultStatus();
}

void MainWindow::TimerTick() {
    const ScanState& s = TheScanState();
    ShowScanProgress(*进度条1, *透明标签1, s.ScanPosition, s.DeviceSectors);
    if (Scanning()) {
        scanRate_.Note(s.ScanPosition);
    } else {
        scanRate_.Restart();
    }
    ShowResultStatus();
}

bool MainWindow::Scanning() const { return 按钮1->Text() == StopCaption().Utf8(); }

// A scan keeps the drive box disabled and its drive selected, so the list is
// refreshed between scans only; a drive that went away is noticed when a scan or
// save checks it.
void MainWindow::WatchDrives() {
    if (!驱动器框1->isEnabled()) return;
    if (!驱动器框1->RefreshIfChanged()) return;
    // The selection is measured again when its drive went away or changed.
    if (驱动器框1->SelectedVolume() != TheScanState().SelectedVolume) DriveChanged();
    ShowDriveStatus();
}

void MainWindow::ShowDriveStatus() {
    const std::optional<VolumeInfo> volume = 驱动器框1->SelectedVolume();
    driveStatus_->SetText(volume ? Message(volume->letter + ": " + SizeText(volume->sizeBytes)) : Words::tr("未选择驱动器"));
}

void MainWindow::ShowResultStatus() {
    if (Scanning()) {
        const ScanState& s = TheScanState();
        resultStatus_->SetText(Words::tr("找到 %1 张照片，%2")
                                   .Arg(树型框1->Count())
                                   .Arg(ScanRateText(scanRate_, s.DeviceSectors - s.ScanPosition)));
        return;
    }
    int ticked = 0;
    for (int i = 0; i < 树型框1->Count(); ++i) ticked += 树型框1->Tick(i);
    const int damaged = 树型框1->DamagedCount();
    resultStatus_->SetText(damaged == 0 ? Words::tr("找到 %1 张照片，已勾选 %2 张").Arg(树型框1->Count()).Arg(ticked)
                                        : Words::tr("找到 %1 张照片，其中 %2 张可能不完整，已勾选 %3 张")
                                              .Arg(树型框1->Count())
                                              .Arg(damaged)
                                              .Arg(ticked));
}

void MainWindow::ExitWithConfirmation() {
    Beep();
    if (!AskYesNo(this, Words::tr("确认退出程序？"), Words::tr("确认退出"))) return;
    WaitMilliseconds(kWaitBeforeExitMs);
    close();
}

void MainWindow::ShowAbout() {
    QMessageBox::about(this, ToQString(Words::tr("关于我们")),
                       ToQString(Words::tr("Velkor v1.4\n从文件系统已不再列出的驱动器中找回 JPEG 照片。\n"
                                 "只读取所选驱动器，从不写入。")));
}

// The widgets go before the QObject part of the window does: their last signals
// must not reach handlers of a window that is no longer one.
MainWindow::~MainWindow() {
    for (QWidget* control : client_->findChildren<QWidget*>()) control->blockSignals(true);
    时钟1->stop();
    driveWatch_->stop();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing ends the program at once: a running scan or save is abandoned, and
    // every dialog is closed so that the loops waiting on them return too.
    AbandonScan();
    AbandonSave();
    时钟1->stop();
    driveWatch_->stop();
    CloseOpenDialogs();
    event->accept();
    if (whenClosed_) whenClosed_();
}

ScanControls MainWindow::Scan() const { return {client_, 按钮1, 驱动器框1, 进度条1, 树型框1, 代码编辑框1, 图片框1}; }

SaveControls MainWindow::Save() const {
    return {client_, 树型框1, 代码编辑框1, 目录编辑框1, 进度条1, 透明标签1, 时钟1, resultStatus_};
}

void OpenMainWindow() {
    QEventLoop loop;
    // Owned here, not deleted on close: a close arrives inside nested loops whose
    // frames still use the window, and exec() below returns only after they have.
    auto window = std::make_unique<MainWindow>();
    window->setWindowModality(Qt::ApplicationModal);
    window->setFixedSize(window->sizeHint());
    window->WhenClosed([&loop] { loop.quit(); });
    gMainWindow = window.get();
    window->show();
    QTimer::singleShot(0, window.get(), [&window] { TellImagesNotOffered(window.get()); });
    loop.exec();
}

MeasuringControl& MainWindow::MeasuringControlOf() { return *动画物体1; }

MainWindow* TheMainWindow() { return gMainWindow.data(); }

}  // namespace velkor

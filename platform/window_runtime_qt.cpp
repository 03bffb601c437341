#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFont>
#include <QImage>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTranslator>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/catalogues.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/preview_decode.h"
#include "platform/unique_fd.h"
#include "platform/window_runtime_qt.h"

namespace velkor {
namespace {

constexpr int kNoEntry = -1;
// Where a tree entry keeps whether it is marked as possibly damaged.
constexpr int kDamagedRole = Qt::UserRole + 1;
constexpr char kNoDisplay[] =
    "cannot open the display: set DISPLAY, or run velkor-autoscan with QT_QPA_PLATFORM=offscreen";

// Connects to the local X server's socket for DISPLAY ":N"; other forms are left to Qt.
bool LocalXServerAnswers(const std::string& display) {
    if (display.empty()) return false;
    if (display[0] != ':') return true;
    const std::string number = display.substr(1, display.find('.') - 1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    if (socketPath.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return false;
    return connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool DisplayCanBeOpened() {
    const std::string platform = EnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.rfind("offscreen", 0) == 0 || platform.rfind("minimal", 0) == 0) return true;
    if (platform.rfind("wayland", 0) == 0) return !EnvironmentVariable("WAYLAND_DISPLAY").empty();
    return LocalXServerAnswers(EnvironmentVariable("DISPLAY"));
}

// The decoder hands pixels at one of libjpeg's scales; Qt finishes the way to the shown size.
QImage ShownImage(const PreviewPicture& picture) {
    const QImage decoded(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                         QImage::Format_RGB888);
    const QSize shown(picture.shownWidth, picture.shownHeight);
    // scaled() hands back a view of picture's pixels when the size is already right.
    if (decoded.size() == shown) return decoded.copy();
    return decoded.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QtMessageHandler gQtMessages = nullptr;

// The offscreen platform, which velkor-autoscan and the tests use, says on every
// window that it cannot pass size hints on: true, and nothing a user can act on.
void QuietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QStringLiteral("propagateSizeHints"))) return;
    gQtMessages(type, context, message);
}

// The widget a message box belongs to: the owner's, when it is a widget.
QWidget* OwnerWidget(Window* owner) { return dynamic_cast<QWidget*>(owner); }

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
Control* Placed(Control* control, const char* name, Place place) {
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(place.left, place.top, place.width, place.height);
    return control;
}

}  // namespace

Message Words::tr(const char* source) {
    return Message(QCoreApplication::translate("Words", source).toStdString());
}

bool BindWindowRuntime() {
    if (QApplication::instance() == nullptr) {
        if (!DisplayCanBeOpened()) {
            std::fprintf(stderr, "%s\n", kNoDisplay);
            return false;
        }
        static int argc = 1;
        static char name[] = "velkor";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends: Qt must outlive every window the tool opens.
        new QApplication(argc, argv);
    }
    // A host may have made the application itself; the language is chosen once either way.
    static const bool spoken = UseLanguage(ChooseLanguage(UserLanguagePreferences()));
    static_cast<void>(spoken);
    if (gQtMessages == nullptr) gQtMessages = qInstallMessageHandler(QuietQtMessages);
    return true;
}

bool UseLanguage(const std::string& language) {
    // Owned by the application, which outlives every window; replaced, never piled
    // up, when the language changes.
    static QTranslator* own = new QTranslator(QCoreApplication::instance());
    static QTranslator* qts = new QTranslator(QCoreApplication::instance());
    QCoreApplication::removeTranslator(own);
    QCoreApplication::removeTranslator(qts);
    const QString qtCatalogues = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool loaded = qts->load(QStringLiteral("qtbase_") + QString::fromStdString(language), qtCatalogues);
    if (loaded) QCoreApplication::installTranslator(qts);
    if (language == "zh_CN") return loaded;
    const bool ownLoaded = own->load(kEnglishCatalogue, static_cast<int>(kEnglishCatalogueSize));
    if (ownLoaded) QCoreApplication::installTranslator(own);
    return loaded && ownLoaded;
}

QtDriveBox::QtDriveBox(QWidget* parent) : QComboBox(parent) { ListFirstImage(); }

void QtDriveBox::ShowVolumes(const std::vector<VolumeInfo>& volumes, const std::string& keep) {
    const QSignalBlocker quiet(this);
    clear();
    for (const VolumeInfo& volume : volumes) {
        addItem(QString::fromStdString(LineOf(volume)), QString::fromStdString(volume.letter));
        setItemData(count() - 1, QByteArray::fromStdString(volume.source), kDriveSourceRole);
    }
    if (!keep.empty()) SelectLetter(keep);
    // The open list shows every line whole, however narrow the box.
    int widest = width();
    for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)) + 24);
    view()->setMinimumWidth(widest);
}

void QtDriveBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect textArea = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, textArea.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

std::string QtDriveBox::SelectedLetter() const { return currentData().toString().toStdString(); }

bool QtDriveBox::SelectLetter(const std::string& letter) {
    const int index = findData(QString::fromStdString(letter));
    if (index < 0) return false;
    setCurrentIndex(index);
    return true;
}

QtTreeBox::QtTreeBox(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setColumnCount(1);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void QtTreeBox::Append(const std::string& text) {
    auto* item = new QTreeWidgetItem(this, QStringList{QString::fromStdString(text)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
}

void QtTreeBox::SetAllTicks(bool ticked) {
    for (int i = 0; i < topLevelItemCount(); ++i) SetTick(i, ticked);
}

std::string QtTreeBox::Text(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item == nullptr ? std::string() : item->text(0).toStdString();
}

int QtTreeBox::Tick(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && item->checkState(0) == Qt::Checked ? 1 : 0;
}

void QtTreeBox::SetTick(int index, bool ticked) {
    if (QTreeWidgetItem* item = topLevelItem(index)) item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void QtTreeBox::MarkDamaged(int index, const Message& why) {
    QTreeWidgetItem* item = topLevelItem(index);
    if (item == nullptr) return;
    item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    item->setToolTip(0, ToQString(why));
    item->setData(0, kDamagedRole, true);
}

bool QtTreeBox::IsDamaged(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && item->data(0, kDamagedRole).toBool();
}

std::string QtTreeBox::WhyDamaged(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && IsDamaged(index) ? item->toolTip(0).toStdString() : std::string();
}

int QtTreeBox::CurrentIndex() const {
    const QTreeWidgetItem* item = currentItem();
    return item == nullptr ? kNoEntry : indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
}

void QtTreeBox::SetCurrentIndex(int index) { setCurrentItem(topLevelItem(index)); }

QtPictureBox::QtPictureBox(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    // A narrow box must still show the whole reason a picture cannot be previewed.
    setWordWrap(true);
}

void QtPictureBox::SetPicture(ByteView bytes) {
    if (bytes.empty()) {
        clear();
        return;
    }
    const PreviewPicture picture = DecodePreview(bytes, width(), height());
    if (picture.outcome != PreviewOutcome::kDecoded) {
        setText(ToQString(Words::tr("无法预览：") + WhyNoPreview(picture.outcome)));
        return;
    }
    setPixmap(QPixmap::fromImage(ShownImage(picture)));
}

bool QtPictureBox::HasPicture() const { return !pixmap().isNull(); }

PictureSize QtPictureBox::ShownSize() const {
    const QSize shown = pixmap().size();
    return HasPicture() ? PictureSize{shown.width(), shown.height()} : PictureSize{};
}

bool QtDirectoryEditBox::ChooseFolder(const Message& message) {
    const QString prompt = ToQString(message);
    QFileDialog chooser(window(), prompt, text());
    chooser.setObjectName("folderChooser");
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog behaves the same on every desktop and can be driven by tests.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setLabelText(QFileDialog::LookIn, prompt);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
    setText(chooser.selectedFiles().constFirst());
    return true;
}

void ShowInformation(Window* owner, const Message& text, const Message& title) {
    QMessageBox::information(OwnerWidget(owner), ToQString(title), ToQString(text), QMessageBox::Ok);
}

bool AskYesNo(Window* owner, const Message& text, const Message& title) {
    // Yes is the default button, as the first button of a Yes/No box is.
    return QMessageBox::question(OwnerWidget(owner), ToQString(title), ToQString(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void ShowWarning(Window* owner, const Message& text, const Message& title) {
    QMessageBox::warning(OwnerWidget(owner), ToQString(title), ToQString(text), QMessageBox::Ok);
}

void Beep() { QApplication::beep(); }

void ShowAbout(Window* owner, const Message& title, const Message& text) {
    QMessageBox::about(OwnerWidget(owner), ToQString(title), ToQString(text));
}

void CloseOpenDialogs() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(widget)) {
            dialog->reject();
        } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
            menu->close();
        }
    }
}

void EventPump::PumpNow() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last_ = std::chrono::steady_clock::now();
}

void QtMenu::AddCommand(const Message& caption, std::string_view shortcut, std::function<void()> chosen) {
    QAction* action = addAction(ToQString(caption), std::move(chosen));
    if (!shortcut.empty()) action->setShortcut(QKeySequence(QString::fromUtf8(shortcut.data(), static_cast<qsizetype>(shortcut.size()))));
}

void QtMenu::PopUp() { exec(QCursor::pos()); }

QtMainForm::QtMainForm(const Message& title, int clientWidth, int clientHeight) {
    setWindowTitle(ToQString(title));
    client_ = new QWidget(this);
    client_->setFixedSize(clientWidth, clientHeight);
    setCentralWidget(client_);
}

QtMainForm::~QtMainForm() {
    for (QObject* child : findChildren<QObject*>()) child->blockSignals(true);
    for (QtTimer* timer : findChildren<QtTimer*>()) timer->stop();
}

DriveBox& QtMainForm::AddDriveBox(const char* name, Place place, std::function<void()> changed) {
    auto* box = Placed(new QtDriveBox(client_), name, place);
    box->setFont(SongFont());
    connect(box, &QComboBox::currentIndexChanged, this, std::move(changed));
    return *box;
}

Button& QtMainForm::AddButton(const char* name, Place place, const Message& caption, std::function<void()> clicked) {
    auto* button = Placed(new QtButton(ToQString(caption), client_), name, place);
    connect(button, &QPushButton::clicked, this, std::move(clicked));
    return *button;
}

ProgressBar& QtMainForm::AddProgressBar(const char* name, Place place) {
    auto* bar = Placed(new QtProgressBar(client_), name, place);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return *bar;
}

Label& QtMainForm::AddLabel(const char* name, Place place) {
    auto* label = Placed(new QtLabel(client_), name, place);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setFont(SongFont());
    return *label;
}

TreeBox& QtMainForm::AddTreeBox(const char* name, Place place, std::function<void()> currentChanged,
                                std::function<void()> contextMenu) {
    auto* tree = Placed(new QtTreeBox(client_), name, place);
    tree->setFont(SongFont());
    connect(tree, &QTreeWidget::currentItemChanged, this, std::move(currentChanged));
    connect(tree, &QWidget::customContextMenuRequested, this, std::move(contextMenu));
    return *tree;
}

PictureBox& QtMainForm::AddPictureBox(const char* name, Place place) {
    return *Placed(new QtPictureBox(client_), name, place);
}

void QtMainForm::AddStatusBar(const char* name, Place place) { statusBar_ = Placed(new QWidget(client_), name, place); }

Label& QtMainForm::AddStatusField(const char* name, Place withinBar) {
    return *Placed(new QtLabel(statusBar_ != nullptr ? statusBar_ : client_), name, withinBar);
}

TextStore& QtMainForm::AddTextStore(const char* name, Place place) {
    auto* store = Placed(new QtTextStore(client_), name, place);
    store->hide();
    return *store;
}

DirectoryEditBox& QtMainForm::AddDirectoryEditBox(const char* name, Place place) {
    return *Placed(new QtDirectoryEditBox(client_), name, place);
}

MeasuringControl& QtMainForm::AddMeasuringControl(const char* name, Place place) {
    auto* control = Placed(new QtMeasuringControl(client_), name, place);
    control->hide();
    return *control;
}

Timer& QtMainForm::AddTimer(const char* name, int interval, std::function<void()> tick) {
    auto* timer = new QtTimer(this);
    timer->setObjectName(QString::fromUtf8(name));
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, std::move(tick));
    return *timer;
}

Menu& QtMainForm::AddMenu(const char* name, const Message& caption) {
    auto* menu = new QtMenu(ToQString(caption), menuBar());
    menu->setObjectName(QString::fromUtf8(name));
    menuBar()->addMenu(menu);
    return *menu;
}

void QtMainForm::Show() {
    setFixedSize(sizeHint());
    show();
}

void QtMainForm::RunUntilClosed(std::function<void()> shown) {
    QEventLoop loop;
    running_ = &loop;
    setWindowModality(Qt::ApplicationModal);
    Show();
    QTimer::singleShot(0, this, std::move(shown));
    loop.exec();
    running_ = nullptr;
}

void QtMainForm::closeEvent(QCloseEvent* event) {
    if (closing_) closing_();
    event->accept();
    if (running_ != nullptr) running_->quit();
}

std::unique_ptr<MainForm> MakeMainForm(const Message& title, int clientWidth, int clientHeight) {
    return std::make_unique<QtMainForm>(title, clientWidth, clientHeight);
}

QtMainForm& QtWindowOf(MainForm& form) { return dynamic_cast<QtMainForm&>(form); }

}  // namespace velkor

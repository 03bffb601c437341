#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QAbstractItemView>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLibraryInfo>
#include <QMenu>
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
#include "platform/preview_decode.h"
#include "platform/unique_fd.h"
#include "platform/window_runtime.h"

namespace velkor {
namespace {

constexpr int kNoEntry = -1;
// Where a tree entry keeps whether it is marked as possibly damaged.
constexpr int kDamagedRole = Qt::UserRole + 1;
// Long loops hand the window its events at least this often: often enough that Stop
// and closing answer at once, and no more often, since each round repaints the
// growing result tree (at 5 ms that took a fifth of a scan of a photo-dense card).
constexpr auto kPumpInterval = std::chrono::milliseconds(20);
constexpr std::uint32_t kStepsPerClockRead = 64;
constexpr char kNoDisplay[] =
    "cannot open the display: set DISPLAY, or run velkor-autoscan with QT_QPA_PLATFORM=offscreen";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

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
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (platform.rfind("offscreen", 0) == 0 || platform.rfind("minimal", 0) == 0) return true;
    if (platform.rfind("wayland", 0) == 0) return !Environment("WAYLAND_DISPLAY").empty();
    return LocalXServerAnswers(Environment("DISPLAY"));
}

Message WhyNoPreview(PreviewOutcome outcome) {
    switch (outcome) {
        case PreviewOutcome::kTooLarge:
            return Words::tr("图片太大");
        case PreviewOutcome::kTooManyScans:
            return Words::tr("扫描次数过多");
        case PreviewOutcome::kTimedOut:
            return Words::tr("解码超时");
        case PreviewOutcome::kNotDecodable:
        case PreviewOutcome::kDecoded:
            break;
    }
    return Words::tr("不是可以解码的 JPEG");
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

std::string ChooseLanguage(const std::vector<std::string>& preferences) {
    for (const std::string& preference : preferences) {
        if (preference.rfind("en", 0) == 0) return "en";
        if (preference.rfind("zh", 0) == 0 || preference == "C" || preference.rfind("C.", 0) == 0 ||
            preference == "POSIX") {
            return "zh_CN";
        }
    }
    return "zh_CN";
}

std::vector<std::string> UserLanguagePreferences() {
    std::vector<std::string> preferences;
    const std::string languages = Environment("LANGUAGE");
    for (std::size_t from = 0; from < languages.size();) {
        const std::size_t colon = std::min(languages.find(':', from), languages.size());
        if (colon > from) preferences.push_back(languages.substr(from, colon - from));
        from = colon + 1;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = Environment(variable);
        if (!value.empty()) preferences.push_back(value);
    }
    return preferences;
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

DriveBox::DriveBox(QWidget* parent) : QComboBox(parent) {
    Refresh();
    if (const std::optional<std::string> letter = LetterOfFirstImage()) SelectLetter(*letter);
}

void DriveBox::Refresh() { Fill(ListVolumes()); }

bool DriveBox::RefreshIfChanged() {
    std::vector<VolumeInfo> volumes = ListVolumes();
    if (volumes == listed_) return false;
    Fill(std::move(volumes));
    return true;
}

std::optional<VolumeInfo> DriveBox::SelectedVolume() const {
    const std::string letter = SelectedLetter();
    for (const VolumeInfo& volume : listed_) {
        if (volume.letter == letter) return volume;
    }
    return std::nullopt;
}

void DriveBox::Fill(std::vector<VolumeInfo> volumes) {
    const std::string kept = SelectedLetter();
    const QSignalBlocker quiet(this);
    clear();
    for (const VolumeInfo& volume : volumes) {
        addItem(QString::fromStdString(volume.letter + ":  " + volume.description),
                QString::fromStdString(volume.letter));
        setItemData(count() - 1, QByteArray::fromStdString(volume.source), kDriveSourceRole);
    }
    if (!kept.empty()) SelectLetter(kept);
    listed_ = std::move(volumes);
    // The open list shows every line whole, however narrow the box.
    int widest = width();
    for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)) + 24);
    view()->setMinimumWidth(widest);
}

void DriveBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect textArea = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, textArea.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

std::string DriveBox::SelectedLetter() const { return currentData().toString().toStdString(); }

bool DriveBox::SelectLetter(const std::string& letter) {
    const int index = findData(QString::fromStdString(letter));
    if (index < 0) return false;
    setCurrentIndex(index);
    return true;
}

TreeBox::TreeBox(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setColumnCount(1);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void TreeBox::Clear() { clear(); }

void TreeBox::Append(const std::string& text) {
    auto* item = new QTreeWidgetItem(this, QStringList{QString::fromStdString(text)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
}

void TreeBox::SetAllTicks(bool ticked) {
    for (int i = 0; i < topLevelItemCount(); ++i) SetTick(i, ticked);
}

int TreeBox::Count() const { return topLevelItemCount(); }

std::string TreeBox::Text(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item == nullptr ? std::string() : item->text(0).toStdString();
}

int TreeBox::Tick(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && item->checkState(0) == Qt::Checked ? 1 : 0;
}

void TreeBox::SetTick(int index, bool ticked) {
    if (QTreeWidgetItem* item = topLevelItem(index)) item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void TreeBox::MarkDamaged(int index, const Message& why) {
    QTreeWidgetItem* item = topLevelItem(index);
    if (item == nullptr) return;
    item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    item->setToolTip(0, ToQString(why));
    item->setData(0, kDamagedRole, true);
}

bool TreeBox::IsDamaged(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && item->data(0, kDamagedRole).toBool();
}

int TreeBox::DamagedCount() const {
    int damaged = 0;
    for (int i = 0; i < topLevelItemCount(); ++i) damaged += IsDamaged(i) ? 1 : 0;
    return damaged;
}

int TreeBox::CurrentIndex() const {
    const QTreeWidgetItem* item = currentItem();
    return item == nullptr ? kNoEntry : indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
}

void TreeBox::SetCurrentIndex(int index) { setCurrentItem(topLevelItem(index)); }

TextStore::TextStore(QWidget* parent) : QWidget(parent) {}

void TextStore::Clear() {
    text_.clear();
    lineStarts_.assign(1, 0);
}

void TextStore::Append(std::string_view text) {
    const std::size_t base = text_.size();
    text_.append(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') lineStarts_.push_back(base + i + 1);
    }
}

std::string TextStore::Line(std::int64_t n) const {
    if (n < 0 || static_cast<std::uint64_t>(n) >= lineStarts_.size()) return {};
    const std::size_t begin = lineStarts_[static_cast<std::size_t>(n)];
    std::size_t end = static_cast<std::uint64_t>(n) + 1 < lineStarts_.size()
                          ? lineStarts_[static_cast<std::size_t>(n) + 1] - 1
                          : text_.size();
    if (end > begin && text_[end - 1] == '\r') --end;
    return text_.substr(begin, end - begin);
}

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    // A narrow box must still show the whole reason a picture cannot be previewed.
    setWordWrap(true);
}

void PictureBox::SetPicture(ByteView bytes) {
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

bool PictureBox::HasPicture() const { return !pixmap().isNull(); }

std::string PictureBox::Notice() const { return text().toStdString(); }

DirectoryEditBox::DirectoryEditBox(QWidget* parent) : QLineEdit(parent) {}

bool DirectoryEditBox::ChooseFolder(const Message& message) {
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

std::string DirectoryEditBox::DirectoryText() const { return text().toStdString(); }

MeasuringControl::MeasuringControl(QWidget* parent) : QWidget(parent) {}

void MeasuringControl::SetPictureData(ByteView bytes) { size_ = MeasurePicture(bytes); }

void ShowInformation(Window* owner, const Message& text, const Message& title) {
    QMessageBox::information(owner, ToQString(title), ToQString(text), QMessageBox::Ok);
}

bool AskYesNo(Window* owner, const Message& text, const Message& title) {
    // Yes is the default button, as the first button of a Yes/No box is.
    return QMessageBox::question(owner, ToQString(title), ToQString(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void ShowWarning(Window* owner, const Message& text, const Message& title) {
    QMessageBox::warning(owner, ToQString(title), ToQString(text), QMessageBox::Ok);
}

void Beep() { QApplication::beep(); }

void PopUpMenu(QMenu* menu) { menu->exec(QCursor::pos()); }

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

void EventPump::Pump() {
    // Reading the clock on every step would cost more than the steps themselves.
    if (++calls_ % kStepsPerClockRead != 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kPumpInterval) return;
    PumpNow();
}

void EventPump::PumpNow() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last_ = std::chrono::steady_clock::now();
}

}  // namespace velkor

#include "shell/progress_display.h"

#include <QLabel>
#include <QProgressBar>
#include <cmath>

#include "platform/window_runtime.h"

namespace velkor {
namespace {

double RoundToHundredths(double value) { return std::round(value * 100.0) / 100.0; }

void ShowPercentage(QProgressBar& bar, QLabel& label, double percentage) {
    bar.setValue(static_cast<int>(percentage));
    label.setText(PercentText(percentage));
}

}  // namespace

QString PercentText(double percentage) {
    QString text = QString::number(RoundToHundredths(percentage), 'f', 2);
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
    return text + "%";
}

void ShowScanProgress(QProgressBar& bar, QLabel& label, std::int64_t scanPosition, std::int64_t deviceSectors) {
    // A drive of unknown size has no progress to show; the timer keeps running.
    if (deviceSectors <= 0) {
        ShowPercentage(bar, label, 0.0);
        return;
    }
    const double percentage = static_cast<double>(scanPosition) / (static_cast<double>(deviceSectors) / 100.0);
    if (RoundToHundredths(percentage) > 100.0 + 0.0000001) {
        label.setText(Words::tr("完成"));
        bar.setValue(100);
        return;
    }
    ShowPercentage(bar, label, percentage);
}

void ShowSaveProgress(QProgressBar& bar, QLabel& label, std::int64_t i, std::int64_t n) {
    ShowPercentage(bar, label, static_cast<double>(i) / (static_cast<double>(n) / 100.0));
}

}  // namespace velkor

#pragma once
// The scan progress shown by the bar and the percentage label on every timer tick.
#include <QString>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace velkor {

// A percentage rounded to two decimals as decimal text with "%": "25%", "33.33%".
QString PercentText(double percentage);

// Shows ScanPosition of DeviceSectors on bar and label; "完成" once past 100.
void ShowScanProgress(QProgressBar& bar, QLabel& label, std::int64_t scanPosition, std::int64_t deviceSectors);

// Shows entry i of n of a save on bar and label.
void ShowSaveProgress(QProgressBar& bar, QLabel& label, std::int64_t i, std::int64_t n);

}  // namespace velkor

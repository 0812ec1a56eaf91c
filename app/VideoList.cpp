#include "app/VideoList.h"

#include <QCollator>
#include <algorithm>

#include "app/VideoNames.h"
#include "archive/RecordingName.h"

namespace app {

std::vector<ListedVideo> ListedVideos(const std::vector<std::string>& fileNames,
                                      const QLocale& locale) {
    std::vector<ListedVideo> entries;
    entries.reserve(fileNames.size());
    for (const std::string& file : fileNames) {
        if (archive::IsTopLevelRecording(file)) entries.push_back({ListName(file), file});
    }
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        return collator.compare(QString::fromStdString(a.text), QString::fromStdString(b.text)) < 0;
    });
    return entries;
}

}  // namespace app

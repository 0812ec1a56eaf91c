// The entries of the list of recordings: each file's list text beside the file it stands for,
// in the user's collation order.
#pragma once

#include <QLocale>
#include <string>
#include <vector>

namespace app {

struct ListedVideo {
    std::string text;  // what the list shows: the file name without its ".avi"
    std::string file;  // the file name in the working folder
};

// The files that are recordings as list entries, ordered as the user's file manager orders names:
// by the locale's collation, so "Äpfel" stands beside "Apfel" and letter case does not split the
// order.
std::vector<ListedVideo> ListedVideos(const std::vector<std::string>& fileNames,
                                      const QLocale& locale = QLocale());

}  // namespace app

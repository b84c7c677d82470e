#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "options/AgentPreview.h"
#include "options/gui/Choosers.h"

namespace velkora::test {

// A character engine that knows the animation names of a few files and refuses the rest.
class FakePreview final : public AgentPreview {
public:
    PreviewLoad load(const std::string& path) override {
        auto known = characters.find(path);
        if (known == characters.end()) {
            return {false, "not a character file", {}};
        }
        current = path;
        return {true, {}, known->second};
    }
    void showAt(int leftPx, int topPx) override { shownAt.push_back({leftPx, topPx}); }
    void play(const std::string& animation) override { played.push_back(animation); }

    std::map<std::string, std::vector<std::string>> characters;
    std::string current;
    std::vector<PreviewPoint> shownAt;
    std::vector<std::string> played;
};

// File and colour dialogs that answer from a script and remember what they were asked.
class FakeChoosers final : public Choosers {
public:
    struct FileRequest {
        FileFilter filter;
        QString initialFolder;
        QString title;
    };

    QString chooseFile(QWidget*, const FileFilter& filter, const QString& initialFolder,
                       const QString& title) override {
        fileRequests.push_back({filter, initialFolder, title});
        if (files.empty()) {
            return {};
        }
        QString answer = files.front();
        files.pop_front();
        return answer;
    }
    int32_t chooseColour(QWidget*) override {
        if (colours.empty()) {
            return -1;
        }
        int32_t answer = colours.front();
        colours.pop_front();
        return answer;
    }

    std::deque<QString> files;
    std::deque<int32_t> colours;
    std::vector<FileRequest> fileRequests;
};

}  // namespace velkora::test

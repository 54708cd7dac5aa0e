#pragma once
// A screen and document host for manager tests: records every status text,
// system-information line, beep and message box, and answers the port dialog
// from a script.

#include "core/DocumentHost.h"
#include "support/TempDir.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class RecordingScreen : public CStationScreen {
public:
    void SetStatusText(const std::string& text, int pane) override
    {
        panes[pane] = text;
        statusLog.emplace_back(pane, text);
    }
    void AddSystemInfo(const std::string& text, bool popUp) override { infoLines.emplace_back(text, popUp); }
    void Beep(BeepKind kind) override { beeps.push_back(kind); }
    void ShowMessage(const std::string& text, MessageIcon icon) override { messages.emplace_back(text, icon); }
    void ReportJob(const std::string& line) override { jobLines.push_back(line); }
    std::optional<int16_t> SelectComPort(const std::string& message, int16_t current) override
    {
        portDialogs.emplace_back(message, current);
        if (portAnswers.empty())
            return std::nullopt;
        const std::optional<int16_t> answer = portAnswers.front();
        portAnswers.pop_front();
        return answer;
    }

    std::map<int, std::string> panes;
    std::vector<std::pair<int, std::string>> statusLog;
    std::vector<std::pair<std::string, bool>> infoLines;
    std::vector<BeepKind> beeps;
    std::vector<std::pair<std::string, MessageIcon>> messages;
    std::vector<std::pair<std::string, int16_t>> portDialogs;
    std::deque<std::optional<int16_t>> portAnswers;  // nothing: the operator cancels
    std::vector<std::string> jobLines;
};

class RecordingHost : public CDocumentHost {
public:
    SettingsValues& Settings() override { return settings; }
    bool SaveSettings() override
    {
        saved.push_back(settings);
        return true;
    }
    CStationScreen& Screen() override { return screen; }
    // Opened at first use: in outboxFolder when a test set one, else in a
    // scratch folder of the host's own.
    COutbox& Outbox() override
    {
        if (!outbox.IsOpen())
            outbox.Open(outboxFolder.empty() ? (ownFolder.Path() / COutbox::kFolderName).string() : outboxFolder);
        return outbox;
    }
    // A station that starts again: the files stay, what was in memory goes.
    void ReopenOutbox() { outbox = COutbox(); }

    SettingsValues settings;
    std::string outboxFolder;
    COutbox outbox;
    TempDir ownFolder;
    std::vector<SettingsValues> saved;
    RecordingScreen screen;
};

#pragma once
// The application: loads and checks the dictionary, selects the language,
// creates the document with its screen, settles the operator on duty and runs
// the start chain; at the end it has the document stop the managers. The
// screen is the headless one unless windows are given; with windows the
// headless screen still writes the event lines (an echo of what is shown).

#include "app/CommandLine.h"
#include "app/HeadlessScreen.h"
#include "station/OrvaDoc.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>

class COrvaApp {
public:
    // The operator of a station started without anyone choosing one.
    static constexpr const char* kDefaultOperator = "Operator";

    COrvaApp(CommandLine options, std::ostream& out, std::ostream& err);
    ~COrvaApp();
    COrvaApp(const COrvaApp&) = delete;
    COrvaApp& operator=(const COrvaApp&) = delete;

    // Replaces the check of the built-in dictionary (tests).
    void SetDictionaryLoader(std::function<bool()> loader) { loadDictionary = std::move(loader); }
    // Writes SystemInfo.log in the current folder (the station does; most
    // tests do not).
    void SetWriteSystemInfoLog(bool write) { writeSystemInfoLog = write; }

    // Runs the station with windows: create builds the screen with its
    // long-lived windows once the dictionary is loaded and the language
    // chosen (their texts are set as they are built), the document shows
    // everything on it (and asks the operator), attach builds the main window
    // once the document exists. Without --operator the operator is chosen in
    // the selection.
    void SetWindows(std::function<CDocumentScreen*()> create, std::function<void(COrvaDoc&)> attach)
    {
        createWindows = std::move(create);
        attachWindows = std::move(attach);
    }

    // Runs the start-up. ORVA_EXIT_OK when the station runs; otherwise the
    // exit code, after one line on the error stream saying why.
    int Startup();
    // Stops the managers and writes the last line. The exit code.
    int Shutdown();

    COrvaDoc* Document() { return document.get(); }
    CHeadlessScreen& Screen() { return screen; }
    void SetCloseHandler(std::function<void()> handler) { screen.SetCloseHandler(std::move(handler)); }

private:
    int Fail(int code, const std::string& reason);
    std::string DatabaseFailure();

    CommandLine options;
    std::ostream& err;
    CHeadlessScreen screen;
    std::unique_ptr<COrvaDoc> document;
    std::function<bool()> loadDictionary;
    bool writeSystemInfoLog = false;
    std::function<CDocumentScreen*()> createWindows;
    std::function<void(COrvaDoc&)> attachWindows;
};

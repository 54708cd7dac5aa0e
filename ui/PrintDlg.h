#pragma once
// The alarm list print window: prints all alarms of the list or the selected
// ones as plain text blocks, one block per alarm, on a printer (or into a
// PDF file, through the platform's print dialog) or in the print preview.
// Modeless; created hidden when the station has started, shown centred on
// the screen by the print command, hidden again by Close.
//
// "All" prints the most recent alarms of every status, as many as the list
// has rows, whatever the list's filter hides; its tooltip says so.
//
// The alarms come from the database: Print and Preview send one request,
// the document hands the answer to OnReply, and the print job runs from
// the event loop after the document's dispatch has returned.

#include "core/IntervalTimer.h"
#include "ui/DbRequestSink.h"
#include "ui/PrintObject.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAlarmInfoMsg;
class CPrintListSource;
class QGroupBox;
class QPainter;
class QPrinter;
class QPrintPreviewDialog;
class QPushButton;
class QRadioButton;

class CPrintDlg : public QDialog {
public:
    enum Choice { kChoiceNone = -1, kChoiceAll = 0, kChoiceSelection = 1 };
    enum class Mode { Print, Preview };
    // Space between two printed lines, in device units, beyond the font's height.
    static constexpr int kLineGap = 10;
    // How long the window waits for the database's answer before it gives
    // the buttons back (a database that is not open answers nothing).
    static constexpr uint32_t kReplyTimeoutMs = 10000;

    CPrintDlg(CPrintListSource& list, DbRequestSink requests, QWidget* parent = nullptr);
    ~CPrintDlg() override;

    // The print command: shows the window centred on the screen.
    void ShowWindow();
    // The list's rows or selection changed: choices and labels anew.
    void Update();
    // An alarm answer of the print requests (type 31, Result 7 or 8); the
    // print job runs from the event loop.
    void OnReply(std::unique_ptr<CMsg> reply);

    // The buttons; tests call them as the operator would.
    void OnPrint();
    void OnPreview();
    void OnClose();
    // Escape and the close box hide the window like Close.
    void reject() override;

    // Checks the answer's time-out against the tick source; the window's
    // poll calls it, tests call it after moving the fake clock.
    void OnReplyTimer();

    int GetChoice() const;
    bool IsWaiting() const { return waiting; }

    // The print job, as the toolkit runs it.
    // Builds the pages from the kept answer; the page count. The printer
    // is told the page range.
    int PreparePrinting(QPrinter& printer);
    // Draws page number (from 1) with the painter's font.
    void PrintPage(QPainter& painter, int number);
    void EndPrinting();
    const CPrintObject& Pages() const { return pages; }

    // The printed lines of one alarm.
    static std::vector<std::string> AlarmLines(const CAlarmInfoMsg& alarm);

    // Replaceable for tests: choosing the printer (true to print), running
    // the preview, the beep, and what follows every print job (the main
    // window writes its title again).
    // The printer of every job, which the main window's printer set-up adjusts.
    QPrinter& Printer() { return *printer; }
    void SetPrinterChooser(std::function<bool(QPrinter&, int pageCount)> chooser)
    {
        choosePrinter = std::move(chooser);
    }
    void SetPreviewRunner(std::function<void(QPrintPreviewDialog&)> runner) { runPreview = std::move(runner); }
    void SetBeep(std::function<void()> beepFunction) { beep = std::move(beepFunction); }
    void SetAfterPrinting(std::function<void()> done) { afterPrinting = std::move(done); }

    QRadioButton* AllChoice() const { return allChoice; }
    QRadioButton* SelectionChoice() const { return selectionChoice; }
    QPushButton* PrintButton() const { return printButton; }
    QPushButton* PreviewButton() const { return previewButton; }

private:
    void Translate();
    void Request(Mode mode);
    void HandleReply(std::unique_ptr<CMsg> reply);
    void RunPrint();
    void RunPreview();
    void PrintDocument(QPrinter& printer);
    void StopWaiting();

    CPrintListSource& list;
    DbRequestSink requests;
    Mode mode = Mode::Print;
    bool waiting = false;
    CIntervalTimer replyTimer;
    QTimer replyPoll;
    std::unique_ptr<CAlarmInfoMsg> records;
    CPrintObject pages;

    std::function<bool(QPrinter&, int)> choosePrinter;
    std::unique_ptr<QPrinter> printer;
    std::function<void(QPrintPreviewDialog&)> runPreview;
    std::function<void()> beep;
    std::function<void()> afterPrinting;

    QGroupBox* group = nullptr;
    QRadioButton* allChoice = nullptr;
    QRadioButton* selectionChoice = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* previewButton = nullptr;
    QPushButton* closeButton = nullptr;
};

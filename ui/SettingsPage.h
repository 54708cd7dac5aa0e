#pragma once
// One page of the settings sheet: it shows its part of a copy of the
// settings, checks its fields when the operator leaves it and writes them
// back when the sheet closes with OK.

#include "core/SettingsValues.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <map>

class QLabel;
class QLineEdit;

class CSettingsPage : public QWidget {
public:
    // captionKey: the dictionary key of the tab's title (also the page's
    // object name).
    CSettingsPage(const char* captionKey, QWidget* parent = nullptr);

    const char* CaptionKey() const { return captionKey; }

    // Shows the values.
    virtual void Load(const SettingsValues& values) = 0;
    // Copies the page's fields into the values; only after OnKillActive
    // passed (or when the page was never shown and holds what Load gave).
    virtual void Store(SettingsValues& values) const = 0;
    // The page becomes the current tab. The first time, it takes its texts
    // from the dictionary.
    void Activate();
    // The page is being left (another tab or OK): false keeps it, after the
    // operator has been told why and the field at fault has the focus.
    virtual bool OnKillActive() { return true; }

protected:
    virtual void OnSetActive() {}
    // Sets the control texts from the dictionary.
    virtual void Translate();

    // A label whose text is the key's translation.
    QLabel* Label(const char* key);
    // A one-line field of at most `chars` characters (not UTF-16 units).
    QLineEdit* TextField(const char* settingName, int chars);
    // A field of digits only, at most `digits` of them.
    QLineEdit* NumberField(const char* settingName, int digits);

    static void SetNumber(QLineEdit* field, long long value);
    // The field's number, or -1 when it holds none.
    static long long Number(const QLineEdit* field);
    static QString Q(const std::string& text) { return QString::fromStdString(text); }
    static std::string S(const QString& text) { return text.toStdString(); }

    // The field check: a number from min to max. Otherwise the operator is
    // told the bounds, the field's text is selected and it gets the focus.
    bool CheckRange(QLineEdit* field, long long min, long long max);
    // An exclamation box with OK; then the field has the focus with its
    // whole text selected.
    void WarnAt(const QString& text, QLineEdit* field);
    // An exclamation box with OK and Cancel; true on OK.
    bool Confirm(const QString& text);
    void Tell(const QString& text, QMessageBox::Icon icon);

private:
    const char* captionKey;
    bool translated = false;
    std::map<QLabel*, const char*> labels;
};

#pragma once
// A plain coloured label: fills its whole area with one background colour and,
// when its text is not empty, draws the text in white, centred on one line.

#include <QColor>
#include <QString>
#include <QWidget>

class CMessagePanel : public QWidget {
public:
    explicit CMessagePanel(QWidget* parent = nullptr);

    void SetBkColor(const QColor& color);
    void SetText(const QString& text);
    QColor BkColor() const { return background; }
    // Room for the whole text in the bold font it is drawn with.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    QString Text() const { return text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QFont TextFont() const;

    QColor background{192, 192, 192};
    QString text;
};

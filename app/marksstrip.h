#ifndef MARKSSTRIP_H
#define MARKSSTRIP_H

#include <QString>
#include <QWidget>

class QFontMetrics;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The strip above the plot where the window says what it shows and how an
// operation ended: the load's notice on the left, the end of an export and
// the averaging mark ("средние за 600 с") on the right. Nothing of it lies
// over the curves, the cursor labels or the legend, and it keeps its height
// while it is empty, so that the plot does not jump when a mark comes or
// goes.
class MarksStrip : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 40;

    explicit MarksStrip(QWidget *parent = nullptr);

    // The notice goes first; the strip takes it over.
    void setNotice(QWidget *notice);
    // The label the end of an operation is told in; the strip takes it over
    // and shows it on one line.
    void setMessageLabel(QLabel *label);

    void showAveraging(bool on);
    QLabel *averagingMark() const { return averaging; }
    // What of the plot comes from the summary cache, not from the records
    // ("предварительно, по сводке" while they load); empty hides the mark.
    void showPreview(const QString &text);
    // What the window does in the background beside the operations, with
    // the button that stops it; an empty text hides both.
    void showBackground(const QString &text);
    QPushButton *backgroundStopButton() const { return backgroundStop; }

    // Shows `lines` on one line, the path in them (if any) elided in its
    // middle where the line would not fit, so that a long directory never
    // breaks or pushes the rest out of sight. The label's accessible name is
    // the whole text.
    void showMessage(const QStringList &lines, const QString &path);
    void hideMessage();

    // `text` as it fits in `width` pixels: where it does not, `path`, which
    // it holds once, loses its middle first, then the text its end.
    static QString fitted(const QString &text, const QString &path, const QFontMetrics &metrics,
                          int width);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitMessage();

    QHBoxLayout *row;
    QLabel *averaging;
    QLabel *preview;
    QLabel *background;
    QPushButton *backgroundStop;
    QLabel *message = nullptr;
    QString messageText;
    QString messagePath;
};

#endif // MARKSSTRIP_H

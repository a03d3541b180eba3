#include "marksstrip.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

MarksStrip::MarksStrip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("marksStrip"));
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addStretch(1);

    averaging = new QLabel(this);
    averaging->setObjectName(QStringLiteral("averagedLabel"));
    averaging->setAccessibleDescription(QStringLiteral("Что показано: средние по интервалам"));
    averaging->setFont(QFont(QStringLiteral("Open Sans"), 12, QFont::Bold));
    averaging->setStyleSheet(QStringLiteral("QLabel { color: rgb(60, 60, 60); padding: 0 8px; }"));
    QSizePolicy policy = averaging->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    averaging->setSizePolicy(policy);
    averaging->hide();
    row->addWidget(averaging);

    preview = new QLabel(this);
    preview->setObjectName(QStringLiteral("previewLabel"));
    preview->setAccessibleDescription(
        QStringLiteral("Что показано: средние по сводке архива, а не по записям"));
    preview->setFont(averaging->font());
    preview->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: rgb(120, 120, 120); padding: 0 8px; }"));
    preview->hide();
    row->addWidget(preview);

    background = new QLabel(this);
    background->setObjectName(QStringLiteral("backgroundLabel"));
    background->setAccessibleDescription(QStringLiteral("Что делается в фоне"));
    background->setStyleSheet(QStringLiteral("QLabel { color: rgb(60, 60, 60); }"));
    background->hide();
    row->addWidget(background);
    backgroundStop = new QPushButton(QStringLiteral("СТОП"), this);
    backgroundStop->setObjectName(QStringLiteral("backgroundStopButton"));
    backgroundStop->setAccessibleName(backgroundStop->text());
    backgroundStop->setAccessibleDescription(QStringLiteral("Останавливает работу в фоне"));
    backgroundStop->setMinimumSize(64, kHeight);
    backgroundStop->hide();
    row->addWidget(backgroundStop);
}

void MarksStrip::showPreview(const QString &text)
{
    preview->setText(text);
    preview->setAccessibleName(text);
    preview->setVisible(!text.isEmpty());
    if (message && message->isVisible())
        fitMessage();
}

void MarksStrip::showBackground(const QString &text)
{
    background->setText(text);
    background->setAccessibleName(text);
    background->setVisible(!text.isEmpty());
    backgroundStop->setVisible(!text.isEmpty());
    if (message && message->isVisible())
        fitMessage();
}

void MarksStrip::setNotice(QWidget *notice)
{
    notice->setParent(this);
    row->insertWidget(0, notice, 0, Qt::AlignVCenter);
}

void MarksStrip::setMessageLabel(QLabel *label)
{
    message = label;
    message->setParent(this);
    message->setWordWrap(false);
    // As wide as its text, which fitMessage() shortens to the room left.
    message->setMinimumWidth(1);
    message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Between the notice (with the stretch after it) and the mark.
    row->insertWidget(row->indexOf(averaging), message);
    message->hide();
}

void MarksStrip::showAveraging(bool on)
{
    averaging->setVisible(on);
}

void MarksStrip::showMessage(const QStringList &lines, const QString &path)
{
    messageText = lines.join(QStringLiteral("; "));
    messagePath = path;
    message->setAccessibleName(lines.join(QLatin1Char('\n')));
    message->show();
    fitMessage();
}

void MarksStrip::hideMessage()
{
    message->hide();
}

void MarksStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (message && message->isVisible())
        fitMessage();
}

void MarksStrip::fitMessage()
{
    // The room the notice and the mark leave, less the label's frame and
    // padding (its style sheet's, so measured as its size hint's excess).
    int room = width() - 2 * row->spacing();
    for (int i = 0; i < row->count(); ++i) {
        QWidget *widget = row->itemAt(i)->widget();
        if (widget && widget != message && (!widget->isHidden() || widget == averaging))
            room -= widget->sizeHint().width() + row->spacing();
    }
    message->setText(QString());
    const int chrome = message->sizeHint().width();
    const int width = std::max(0, room - chrome);
    message->setText(fitted(messageText, messagePath, message->fontMetrics(), width));
}

QString MarksStrip::fitted(const QString &text, const QString &path, const QFontMetrics &metrics,
                           int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const int at = path.isEmpty() ? -1 : text.indexOf(path);
    if (at >= 0) {
        const QString head = text.left(at);
        const QString tail = text.mid(at + path.size());
        const int room = width - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
        // The last directory names the place best: it stays whole while
        // the rest of the path has room for a few letters.
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        const QString last = slash > 0 ? path.mid(slash) : QString();
        const int front = room - metrics.horizontalAdvance(last);
        if (slash > 0 && front >= metrics.horizontalAdvance(QStringLiteral("/m…s")))
            return head + metrics.elidedText(path.left(slash), Qt::ElideMiddle, front) + last + tail;
        if (room >= metrics.horizontalAdvance(QStringLiteral("/…/")))
            return head + metrics.elidedText(path, Qt::ElideMiddle, room) + tail;
    }
    return metrics.elidedText(text, Qt::ElideRight, width);
}

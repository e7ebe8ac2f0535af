#include "axesview.h"
#include "textreport.h"

#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tavrin {

namespace {

// Where the text report's labels end and their texts begin.
constexpr int LabelEnd = 18;

// What the view says when the calibration has no accelerometer beside it.
QString withoutAccelerometer()
{
    return AxesView::tr("No accelerometer was read beside the magnetometer, so its axes cannot be checked. "
                        "For a log that holds one, choose the accelerometer's x, y and z columns: Columns… "
                        "in the Input panel, or File > Open as Log…. A live capture of Raw: or Uni: lines "
                        "records the accelerometer by itself.");
}

} // namespace

QString alignmentTable(const QByteArray &reportLines)
{
    QString rows;
    for (const QString &line : QString::fromUtf8(reportLines).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString label = line.left(LabelEnd).trimmed();
        const QString text = line.mid(LabelEnd).trimmed().toHtmlEscaped();
        // The verdict on the axes and what the data suggest stand out.
        const bool axes = label == QLatin1String("Axes"), note = label == QLatin1String("Note");
        rows +=
            QStringLiteral("<tr><td style=\"padding-right: 12px\"><b>%1</b></td><td%2>%3</td></tr>")
                .arg(label.toHtmlEscaped(), note ? QStringLiteral(" style=\"color: #A04000\"") : QString(),
                     axes ? QStringLiteral("<b>%1</b>").arg(text) : text);
    }
    return QStringLiteral("<table cellspacing=\"1\">%1</table>").arg(rows);
}

AxesView::AxesView(QWidget *parent)
    : ViewWidget(parent), words(new QLabel), wordsScroll(new QScrollArea(this))
{
    words->setObjectName(QStringLiteral("axesWords"));
    words->setTextFormat(Qt::RichText);
    words->setWordWrap(true);
    words->setTextInteractionFlags(Qt::TextSelectableByMouse);
    words->setContentsMargins(8, 6, 8, 0);
    words->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // On the figure's white, whatever the desktop's colours; greyed when
    // out of date.
    QPalette white = words->palette();
    white.setColor(QPalette::Window, Qt::white);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        white.setColor(group, QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    words->setPalette(white);
    words->setAutoFillBackground(true);
    wordsScroll->setWidget(words);
    wordsScroll->setWidgetResizable(true);
    wordsScroll->setFrameShape(QFrame::NoFrame);
    wordsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    wordsScroll->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(wordsScroll);
    layout->addStretch(1);
}

QString AxesView::wordsText() const
{
    if (!views())
        return QString();
    return wordsScroll->isHidden() ? withoutAccelerometer() : reportLines;
}

QRectF AxesView::plotBox() const
{
    return QRectF(rect()).adjusted(0, wordsScroll->isHidden() ? 0 : wordsScroll->maximumHeight(), 0, 0);
}

void AxesView::changed()
{
    const Calibration *c = shownCalibration();
    const bool accelerometer = views() && c->result->alignment;
    const QByteArray lines = accelerometer ? AlignmentLines(*c->result->alignment) : QByteArray();
    reportLines = QString::fromUtf8(lines);
    words->setText(accelerometer ? alignmentTable(lines) : QString());
    words->setEnabled(staleReason().isEmpty());
    wordsScroll->setVisible(accelerometer);
    fitWords();
}

void AxesView::resizeEvent(QResizeEvent *event)
{
    ViewWidget::resizeEvent(event);
    fitWords();
}

// The words take the room they need, up to half the view, and scroll
// beyond it, so that the plot keeps room for its axes however low the view.
void AxesView::fitWords()
{
    wordsScroll->setFixedHeight(std::min(words->heightForWidth(width()), height() / 2));
}

void AxesView::draw(QPainter &painter, const FigureData &)
{
    const QRectF box = plotBox();
    if (wordsScroll->isHidden()) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(0x40, 0x40, 0x40));
        painter.drawText(box.adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap,
                         withoutAccelerometer());
        return;
    }
    drawAngleSeries(painter, box, views()->angles, &drawnLabels);
}

} // namespace tavrin

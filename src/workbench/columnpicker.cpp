#include "columnpicker.h"
#include "printable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavrin {

namespace {

constexpr qint64 PreviewBytes = 64 * 1024;
constexpr int PreviewRows = 30;

QStringList split(const QString &line, Delimiter delimiter)
{
    switch (delimiter) {
    case Delimiter::Semicolon:
        return line.split(QLatin1Char(';'));
    case Delimiter::Tab:
        return line.split(QLatin1Char('\t'));
    case Delimiter::Space:
        return line.simplified().split(QLatin1Char(' '));
    default:
        return line.split(QLatin1Char(','));
    }
}

} // namespace

LogPreview previewLog(const QString &path, bool decimalComma)
{
    LogPreview p;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return p;
    QByteArray head = file.read(PreviewBytes);
    if (file.bytesAvailable() > 0)
        head.truncate(head.lastIndexOf('\n') + 1);
    LogFormat probe;
    probe.columns = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    probe.skipBadLines = true;
    probe.decimalComma = decimalComma;
    ParseLog(head, probe, p.found);
    const QStringList lines = QString::fromUtf8(head).split(QLatin1Char('\n'));
    int skippedHeader = 0;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (skippedHeader < p.found.headerLines) {
            skippedHeader++;
            continue;
        }
        p.rows << split(line, p.found.delimiter);
        if (p.rows.size() == PreviewRows)
            break;
    }
    int columns = int(p.found.header.size());
    for (const QStringList &row : p.rows)
        columns = std::max(columns, int(row.size()));
    for (int c = 0; c < columns; c++)
        p.columnNames << (c < p.found.header.size()
                              ? QStringLiteral("%1: %2").arg(c + 1).arg(printable(p.found.header[c]))
                              : QString::number(c + 1));
    p.proposed = ProposedColumns(p.found.header, columns);
    for (int a = 0; a < 3; a++) {
        const QString name = QStringLiteral("a") + QLatin1Char("xyz"[a]);
        for (int c = 0; c < p.found.header.size(); c++)
            if (p.found.header[c].trimmed().compare(name, Qt::CaseInsensitive) == 0)
                p.proposedAccel[size_t(a)] = c + 1;
    }
    if (std::count(p.proposedAccel.begin(), p.proposedAccel.end(), 0) > 0)
        p.proposedAccel = {0, 0, 0};
    return p;
}

ColumnPicker::ColumnPicker(const QString &path, const std::optional<LogFormat> &start, QWidget *parent)
    : QDialog(parent), path(path)
{
    setWindowTitle(tr("Columns of %1").arg(printable(path)));
    auto *layout = new QVBoxLayout(this);
    found = new QLabel(this);
    found->setWordWrap(true);
    layout->addWidget(found);
    table = new QTableWidget(this);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectColumns);
    layout->addWidget(table, 1);
    auto *form = new QFormLayout;
    const char *labels[3] = {QT_TR_NOOP("&x column"), QT_TR_NOOP("&y column"), QT_TR_NOOP("&z column")};
    for (int a = 0; a < 3; a++) {
        axes[size_t(a)] = new QComboBox(this);
        form->addRow(tr(labels[a]), axes[size_t(a)]);
    }
    // The accelerometer beside the magnetometer, for the axes check.
    auto *accelRow = new QHBoxLayout;
    for (QComboBox *&box : accelAxes) {
        box = new QComboBox(this);
        box->setToolTip(tr("The accelerometer's x, y and z columns, to check the magnetometer's axes "
                           "against it (the Axes view); none for the magnetometer alone"));
        accelRow->addWidget(box, 1);
        connect(box, &QComboBox::currentIndexChanged, this, &ColumnPicker::checkAccel);
    }
    auto *accelLabel = new QLabel(tr("&Accelerometer x, y, z"), this);
    accelLabel->setBuddy(accelAxes[0]);
    form->addRow(accelLabel, accelRow);
    decimalComma = new QCheckBox(tr("Decimal &comma (1,5 is 1.5)"), this);
    skipBadLines = new QCheckBox(tr("&Skip bad lines instead of refusing the file"), this);
    firstRow = new QSpinBox(this);
    firstRow->setRange(1, std::numeric_limits<int>::max());
    lastRow = new QSpinBox(this);
    lastRow->setRange(0, std::numeric_limits<int>::max());
    lastRow->setSpecialValueText(tr("the last"));
    form->addRow(QString(), decimalComma);
    form->addRow(QString(), skipBadLines);
    form->addRow(tr("&First row"), firstRow);
    form->addRow(tr("&Last row"), lastRow);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this, &ColumnPicker::pickColumn);
    connect(decimalComma, &QCheckBox::toggled, this, &ColumnPicker::fill);

    if (start) {
        decimalComma->setChecked(start->decimalComma);
        skipBadLines->setChecked(start->skipBadLines);
        firstRow->setValue(int(start->firstRow));
        lastRow->setValue(int(start->lastRow));
    }
    fill();
    if (start)
        for (int a = 0; a < 3; a++) {
            if (const int k = axes[size_t(a)]->findText(start->columns[size_t(a)], Qt::MatchStartsWith);
                k >= 0)
                axes[size_t(a)]->setCurrentIndex(k);
            const QString &accel = start->accelColumns[size_t(a)];
            const int k = accel.isEmpty() ? 0 : accelAxes[size_t(a)]->findText(accel, Qt::MatchStartsWith);
            accelAxes[size_t(a)]->setCurrentIndex(std::max(k, 0));
        }
    resize(720, 560);
}

void ColumnPicker::fill()
{
    preview = previewLog(path, decimalComma->isChecked());
    found->setText(tr("Delimiter: %1; header lines: %2; decimal mark: %3. Click a column to take it as the "
                      "next of x, y and z, or choose them below.")
                       .arg(delimiterName(preview.found.delimiter))
                       .arg(preview.found.headerLines)
                       .arg(decimalComma->isChecked() ? tr("comma") : tr("point")));
    table->clear();
    table->setColumnCount(int(preview.columnNames.size()));
    table->setRowCount(int(preview.rows.size()));
    table->setHorizontalHeaderLabels(preview.columnNames);
    for (int r = 0; r < preview.rows.size(); r++)
        for (int c = 0; c < preview.rows[r].size(); c++)
            table->setItem(r, c, new QTableWidgetItem(printable(preview.rows[r][c])));
    for (int a = 0; a < 3; a++) {
        const int was = axes[size_t(a)]->currentIndex();
        axes[size_t(a)]->clear();
        axes[size_t(a)]->addItems(preview.columnNames);
        axes[size_t(a)]->setCurrentIndex(
            was >= 0 && was < preview.columnNames.size()
                ? was
                : std::min(preview.proposed[size_t(a)] - 1, int(preview.columnNames.size()) - 1));
        QComboBox *accel = accelAxes[size_t(a)];
        const int accelWas = accel->currentIndex();
        accel->clear();
        accel->addItem(tr("none"));
        accel->addItems(preview.columnNames);
        accel->setCurrentIndex(accelWas >= 0 && accelWas <= preview.columnNames.size()
                                   ? accelWas
                                   : preview.proposedAccel[size_t(a)]);
    }
}

void ColumnPicker::checkAccel()
{
    int chosen = 0;
    for (const QComboBox *box : accelAxes)
        chosen += box->currentIndex() > 0;
    ok->setEnabled(chosen == 0 || chosen == 3);
    ok->setToolTip(ok->isEnabled() ? QString()
                                   : tr("Choose all three of the accelerometer's columns, or none"));
}

void ColumnPicker::pickColumn(int column)
{
    axes[size_t(nextAxis)]->setCurrentIndex(column);
    nextAxis = (nextAxis + 1) % 3;
}

LogFormat ColumnPicker::format() const
{
    LogFormat f;
    bool accel = true;
    for (int a = 0; a < 3; a++) {
        f.columns[size_t(a)] = QString::number(axes[size_t(a)]->currentIndex() + 1);
        accel = accel && accelAxes[size_t(a)]->currentIndex() > 0;
    }
    // The first entry is none: the others are the columns from 1 on.
    if (accel)
        for (int a = 0; a < 3; a++)
            f.accelColumns[size_t(a)] = QString::number(accelAxes[size_t(a)]->currentIndex());
    f.decimalComma = decimalComma->isChecked();
    f.skipBadLines = skipBadLines->isChecked();
    f.firstRow = firstRow->value();
    f.lastRow = lastRow->value();
    return f;
}

} // namespace tavrin

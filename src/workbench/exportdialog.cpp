#include "exportdialog.h"
#include "optionchecks.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavrin {

ExportDialog::ExportDialog(std::shared_ptr<const Calibration> shown, QWidget *parent)
    : QDialog(parent), calibration(std::move(shown))
{
    setWindowTitle(tr("Export"));
    auto *layout = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    makeFormatsTable(splitter);
    preview = new QPlainTextEdit(splitter);
    preview->setReadOnly(true);
    preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(splitter, 1);
    makeIdsRow();
    layout->addWidget(idsRow);
    problem = new QLabel(this);
    problem->setWordWrap(true);
    layout->addWidget(problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    save = buttons->addButton(tr("&Save As…"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(formats, &QTableWidget::currentCellChanged, this, [this](int row) { select(row); });
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(preview->toPlainText()); });
    connect(save, &QPushButton::clicked, this,
            [this] { emit saveAsked(workbenchExports()[size_t(formats->currentRow())]); });
    formats->setCurrentCell(0, 0);
    select(0);
    resize(820, 620);
}

void ExportDialog::makeFormatsTable(QWidget *parent)
{
    formats = new QTableWidget(int(workbenchExports().size()), 2, parent);
    formats->setHorizontalHeaderLabels({tr("Format"), tr("What it is")});
    formats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    formats->setSelectionBehavior(QAbstractItemView::SelectRows);
    formats->setSelectionMode(QAbstractItemView::SingleSelection);
    formats->verticalHeader()->hide();
    formats->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(workbenchExports().size()); row++) {
        const WorkbenchExport &format = workbenchExports()[size_t(row)];
        formats->setItem(row, 0, new QTableWidgetItem(plainTitle(format.title)));
        formats->setItem(row, 1, new QTableWidgetItem(format.note));
    }
    formats->resizeColumnToContents(0);
}

// The ids of the formats whose firmware matches them, for the shown one, and
// the compass of the formats that number several, such as COMPASS_OFS2_X.
void ExportDialog::makeIdsRow()
{
    idsRow = new QWidget(this);
    auto *ids = new QHBoxLayout(idsRow);
    ids->setContentsMargins(0, 0, 0, 0);
    const auto idField = [this, ids](const QString &label, const QString &name, const QString &tip,
                                     QLabel *&labelWidget) {
        labelWidget = new QLabel(label, idsRow);
        auto *edit = new QLineEdit(idsRow);
        edit->setObjectName(name);
        edit->setToolTip(tip);
        edit->setPlaceholderText(tr("not given"));
        labelWidget->setBuddy(edit);
        ids->addWidget(labelWidget);
        ids->addWidget(edit);
        connect(edit, &QLineEdit::editingFinished, this, &ExportDialog::takeIds);
        return edit;
    };
    deviceId =
        idField(tr("&Device id:"), QStringLiteral("deviceId"),
                tr("The compass's id, as COMPASS_DEV_ID or CAL_MAGn_ID shows it in the vehicle's parameter "
                   "list"),
                deviceLabel);
    systemId = idField(tr("S&ystem id:"), QStringLiteral("systemId"),
                       tr("The vehicle's MAVLink system id, 1 to 255; 1 when not given"), systemLabel);
    componentId =
        idField(tr("Co&mponent id:"), QStringLiteral("componentId"),
                tr("The autopilot's MAVLink component id, 1 to 255; 1 when not given"), componentLabel);
    compassLabel = new QLabel(tr("Compass n&umber:"), idsRow);
    compass = new QSpinBox(idsRow);
    compass->setObjectName(QStringLiteral("compass"));
    compassLabel->setBuddy(compass);
    ids->addWidget(compassLabel);
    ids->addWidget(compass);
    connect(compass, &QSpinBox::valueChanged, this, [this](int number) {
        const WorkbenchExport &format = workbenchExports()[size_t(formats->currentRow())];
        if (compass->isHidden() || number == rememberedCompass(format.name))
            return;
        rememberCompass(format.name, number);
        showText();
    });
    ids->addStretch(1);
}

void ExportDialog::select(int row)
{
    if (row < 0 || row >= int(workbenchExports().size()))
        return;
    if (formats->currentRow() != row)
        formats->setCurrentCell(row, 0);
    const ExportFormat *firmware = exportFormatNamed(workbenchExports()[size_t(row)].name);
    const int uses = firmware ? firmware->ids : NoIds;
    const ExportIds remembered = firmware ? rememberedIds(QLatin1String(firmware->name)) : ExportIds{};
    const struct {
        QLineEdit *edit;
        QLabel *label;
        bool used;
        std::optional<long long> value;
    } fields[] = {{deviceId, deviceLabel, bool(uses & DeviceId), remembered.device},
                  {systemId, systemLabel, bool(uses & VehicleIds), remembered.system},
                  {componentId, componentLabel, bool(uses & VehicleIds), remembered.component}};
    for (const auto &f : fields) {
        f.edit->setVisible(f.used);
        f.label->setVisible(f.used);
        f.edit->setText(f.value ? QString::number(*f.value) : QString());
    }
    const int compasses = firmware ? firmware->compasses : 1;
    compass->setVisible(compasses > 1);
    compassLabel->setVisible(compasses > 1);
    {
        const QSignalBlocker quiet(compass);
        compass->setRange(1, compasses);
        compass->setValue(firmware ? rememberedCompass(QLatin1String(firmware->name)) : 1);
    }
    idsRow->setVisible(uses != NoIds || compasses > 1);
    showText();
}

void ExportDialog::showText()
{
    const WorkbenchExport &format = workbenchExports()[size_t(formats->currentRow())];
    const Expected<QByteArray> text =
        format.text ? format.text(*calibration) : Expected<QByteArray>::failure(QString());
    preview->setPlainText(text ? QString::fromUtf8(*text) : QString());
    QStringList said;
    if (!format.text)
        said << tr("An image: Save As writes it.");
    else if (!text)
        said << tr("Not possible for this calibration: %1").arg(text.error());
    // The compass's orientation belongs beside its file even when the file is refused.
    if (format.orientation && !format.orientation(*calibration).isEmpty())
        said << format.orientation(*calibration);
    problem->setText(said.join(QLatin1Char('\n')));
    copy->setEnabled(bool(text));
}

void ExportDialog::takeIds()
{
    const WorkbenchExport &format = workbenchExports()[size_t(formats->currentRow())];
    ExportIds ids;
    const struct {
        QLineEdit *edit;
        std::optional<long long> &into;
        QString option;
    } fields[] = {{deviceId, ids.device, QString()},
                  {systemId, ids.system, tr("The system id")},
                  {componentId, ids.component, tr("The component id")}};
    for (const auto &f : fields) {
        const QString text = f.edit->text().trimmed();
        if (f.edit->isHidden() || text.isEmpty())
            continue;
        const Expected<long long> id =
            f.edit == deviceId ? checkDeviceId(text) : checkVehicleId(f.option, text);
        if (!id) {
            problem->setText(id.error());
            return;
        }
        f.into = *id;
    }
    rememberIds(format.name, ids);
    showText();
}

QString ExportDialog::shownText() const
{
    return preview->toPlainText();
}

} // namespace tavrin

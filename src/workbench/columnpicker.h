// How to read a log: a preview of its first rows with the delimiter, header
// and decimal mark found, where the user picks the x, y and z columns by
// clicking a column or from lists, the accelerometer's when the log has one,
// and sets the rows to keep.
#ifndef TAVRIN_WORKBENCH_COLUMNPICKER_H
#define TAVRIN_WORKBENCH_COLUMNPICKER_H

#include "logreader.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;

namespace tavrin {

/// The first rows of a log, split as the reader would split them.
struct LogPreview {
    LogInput found;          ///< the delimiter and header the reader finds
    QStringList columnNames; ///< "1: mx" or "1" per column
    QList<QStringList> rows;
    std::array<int, 3> proposed{1, 2, 3}; ///< 1-based: the x, y and z columns ProposedColumns finds
    /// 1-based: the header's fields named ax, ay and az, case aside; 0 when it has not all three.
    std::array<int, 3> proposedAccel{0, 0, 0};
};

/// Reads the start of the file; an empty preview when nothing could be read.
LogPreview previewLog(const QString &path, bool decimalComma);

class ColumnPicker : public QDialog {
    Q_OBJECT
public:
    ColumnPicker(const QString &path, const std::optional<LogFormat> &start, QWidget *parent = nullptr);

    LogFormat format() const;
    /// Picks a column (0-based) for the next of x, y and z, as a click does.
    void pickColumn(int column);

private:
    void fill();
    /// Allows OK when the accelerometer has all three columns or none.
    void checkAccel();

    QString path;
    LogPreview preview;
    QLabel *found;
    QTableWidget *table;
    std::array<QComboBox *, 3> axes;
    std::array<QComboBox *, 3> accelAxes; ///< "none" first
    class QPushButton *ok;
    int nextAxis = 0;
    QCheckBox *decimalComma, *skipBadLines;
    QSpinBox *firstRow, *lastRow;
};

} // namespace tavrin

#endif

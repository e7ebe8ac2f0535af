// The program's one window: the form, its six buttons and their slots.
#ifndef TAVRIN_FEN_TAVRIN_H
#define TAVRIN_FEN_TAVRIN_H

#include "newlineecho.h"

#include <QDialog>
#include <QStringList>

namespace Ui {
class Fen_Tavrin;
}

class QLabel;

namespace tavrin {

class Fen_Tavrin : public QDialog {
    Q_OBJECT

public:
    explicit Fen_Tavrin(QWidget *parent = nullptr);
    ~Fen_Tavrin() override;

    /// Waits until the newlines of the calibrations so far are out (for tests).
    void drainEcho() { echo.drain(); }

public slots:
    QString OpenFile();
    void Calibrate();
    void OpenAbout();
    void SaveFile();
    void OpenHelp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QLabel *> resultLabels() const;
    void showResults(const QStringList &texts);
    void clearResults();
    void showError(const QString &text, const QString &details = {});

    Ui::Fen_Tavrin *ui;
    NewlineEcho echo;
};

} // namespace tavrin

#endif

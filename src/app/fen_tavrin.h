// The program's one window: the form, its six buttons and their slots.
#ifndef TAVRIN_FEN_TAVRIN_H
#define TAVRIN_FEN_TAVRIN_H

#include <QDialog>
#include <QStringList>

namespace Ui {
class Fen_Tavrin;
}

class QLabel;

class Fen_Tavrin : public QDialog {
    Q_OBJECT

public:
    explicit Fen_Tavrin(QWidget *parent = nullptr);
    ~Fen_Tavrin() override;

public slots:
    QString OpenFile();
    void Calibrate();
    void OpenAbout();
    void SaveFile();
    void OpenHelp();

private:
    QList<QLabel *> resultLabels() const;
    void showError(const QString &text);

    Ui::Fen_Tavrin *ui;
};

#endif

// The star-chart program dialog: the registered programs, the choice among them, and the
// clipboard format of the shooting time.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TForm3;
}

namespace nocturo {

struct ProgramState;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    std::unique_ptr<Ui::TForm3> ui;

    // The star-chart list and choice live in the program state.
    void attachState(ProgramState* state) { st = state; }
    ProgramState* st = nullptr;

    // The path being registered.
    QString NewChartProgram;

    void Button1Click();  // start: chooses the program by the combo box's text
    void Button3Click();  // register through the file dialog
    void Button4Click();  // delete the chosen program
    void Panel1Click();   // help page
    void AddChartProgram();
    void DeleteChartProgram();


protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The index of the entry whose trimmed file name is the trimmed combo text (the last such
    // entry), or -1.
    int findChosenEntry() const;
    void fillComboFromList();
    // Edit3 shows the template of the entry that the combo box names (empty and disabled when it
    // names none); what the user types there goes into that entry.
    void showChosenTemplate();
    void keepTypedTemplate(const QString& text);
};

}  // namespace nocturo

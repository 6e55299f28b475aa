// How the list view's columns share its width: every column but the
// description keeps its width (at least what its title and, for the state
// column, every state label need in the language shown), and the description
// takes whatever room is left. Widths the user sets by dragging a column's
// edge are kept, reported for the settings file, and restored from it.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QTableView;

// Column widths as the settings file keeps them: pixel widths in column
// order, separated by spaces ("80 240 120 120 64 124"). Parsing gives
// nothing unless the text holds exactly count positive widths no wider than
// 4000 pixels, so a damaged value never yields a column that cannot be seen.
std::vector<int> ParseColumnWidths(const QString& text, int count);
QString FormatColumnWidths(const std::vector<int>& widths);

class ListColumns : public QObject {
    Q_OBJECT
  public:
    // view's model is the patch list's (app/PatchListModel.h). remember is
    // called with the widths after the user dragged a column's edge.
    ListColumns(QTableView* view, std::function<void(const QString&)> remember);

    // The widths the user set before (as ParseColumnWidths reads them);
    // anything else keeps the widths the columns' contents need.
    void Restore(const QString& saved);
    // Every column's width as the settings file keeps it; the description's
    // is the least it may be given.
    QString Saved() const;
    // The width a column gets without a user's setting: its default, or what
    // its title and its texts need in the view's font (bold, as a row needing
    // attention shows them) when that is more; for the description, the least
    // it is given.
    int NeededWidth(int column) const;
    // Gives the description column the room the others leave.
    void Fit();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnSectionResized(int column, int oldWidth, int newWidth);

    QTableView* view_;
    // The two viewports it watches, kept so that an event met while the view
    // is being destroyed is told apart without asking the view.
    QObject* listViewport_ = nullptr;
    QObject* headerViewport_ = nullptr;
    std::function<void(const QString&)> remember_;
    std::vector<int> widths_; // the description's: its least width
    bool fitting_ = false;
    bool userResized_ = false;
};

// The few controls the window needs beyond plain Qt widgets: a radio group
// with an item position, a file-name edit with a browse button, a tab
// control whose tabs are buttons and that may have no active tab, the
// read-only hint field and the password edit that shows "x".
#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

// The group is one stop of the Tab chain, on its checked item (the first
// when none is checked); the arrow keys move among the items.
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent);

    QStringList Items() const { return items_; }
    int Columns() const { return columns_; }
    // -1 when no item is selected.
    int ItemIndex() const;
    void SetItemIndex(int index);
    const std::vector<QRadioButton*>& Buttons() const { return buttons_; }

private:
    void MoveTabStop();

    QStringList items_;
    int columns_;
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};

class TFileNameEdit : public QWidget {
public:
    explicit TFileNameEdit(QWidget* parent);

    QString Text() const { return edit_->text(); }
    void SetText(const QString& text) { edit_->setText(text); }
    QLineEdit* Edit() const { return edit_; }
    QToolButton* BrowseButton() const { return button_; }
    // Opens the file-open dialog in the folder of the file named now; a
    // chosen file is put in as it is (TakeChosenFile).
    void Browse();
    // Puts the path in unless the ANSI code page lacks one of its
    // characters; then the error display says so and the text stays.
    bool TakeChosenFile(const QString& path);

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

class TPageControl : public QWidget {
public:
    explicit TPageControl(QWidget* parent);

    // Adds a tab sheet (a page named after the sheet) with its button.
    QWidget* AddSheet(const QString& name, const QString& caption);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    QWidget* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    QPushButton* TabButton(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    QString Caption(int index) const;
    // The active tab sheet, nullptr when none.
    QWidget* ActivePage() const;
    void SetActivePage(QWidget* page);
    // Called when the user switches tabs.
    void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

private:
    void Activate(int index);

    QWidget* buttonRow_;
    QStackedWidget* stack_;
    QWidget* emptyPage_;
    std::vector<QWidget*> pages_;
    std::vector<QPushButton*> buttons_;
    std::function<void()> onChange_;
};

// A read-only, borderless one-line edit in its parent's colour, no tab stop.
QLineEdit* MakeHintField(const QString& text, QWidget* parent);
// A one-line edit that shows an "x" for every character.
QLineEdit* MakePasswordEdit(QWidget* parent);
// Loads the Tahoma-compatible font when installed and makes Tahoma 8 pt
// (11 pixels) the application's font. Safe to call more than once.
void InitializeApplicationFont();

#include "app/QtWidgets.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ErrorDisplay.h"
#include "platform/FileName.h"

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), items_(items), columns_(columns), group_(new QButtonGroup(this)) {
    // The caption sits on the frame, as a radio group's does.
    setStyleSheet("QGroupBox { border: 1px solid #a0a0a0; border-radius: 2px; margin-top: 6px; }"
                  "QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0 1px; }");
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 4, 1);
    layout->setVerticalSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
        buttons_.push_back(button);
    }
    MoveTabStop();
    QObject::connect(group_, &QButtonGroup::idToggled, this, [this] { MoveTabStop(); });
}

void TRadioGroup::MoveTabStop() {
    const int stop = std::max(ItemIndex(), 0);
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setFocusPolicy(static_cast<int>(i) == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < static_cast<int>(buttons_.size())) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    group_->setExclusive(false);
    for (QRadioButton* button : buttons_) button->setChecked(false);
    group_->setExclusive(true);
}

TFileNameEdit::TFileNameEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit_);
    layout->addWidget(button_);
    button_->setText("...");
    button_->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(edit_);
    QObject::connect(button_, &QToolButton::clicked, this, [this] { Browse(); });
}

void TFileNameEdit::Browse() {
    QFileDialog dialog(window());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setSizeGripEnabled(true);
    if (!edit_->text().isEmpty()) {
        dialog.setDirectory(QFileInfo(edit_->text()).absolutePath());
        dialog.selectFile(edit_->text());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) TakeChosenFile(dialog.selectedFiles().first());
}

bool TFileNameEdit::TakeChosenFile(const QString& path) {
    // The fields hold ANSI text: a name the code page cannot hold would
    // come back with "?" in it and name another file, or none.
    try {
        AnsiFileName(path.toStdString());
    } catch (const EFileNameError& e) {
        ShowException(e);
        return false;
    }
    edit_->setText(path);
    return true;
}

TPageControl::TPageControl(QWidget* parent)
    : QWidget(parent), buttonRow_(new QWidget(this)), stack_(new QStackedWidget(this)), emptyPage_(new QWidget) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addStretch();
    layout->addWidget(buttonRow_);
    layout->addWidget(stack_, 1);
    stack_->addWidget(emptyPage_);
}

QWidget* TPageControl::AddSheet(const QString& name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(name);
    page->setWindowTitle(caption);
    stack_->addWidget(page);
    auto* button = new QPushButton(caption, buttonRow_);
    button->setCheckable(true);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    auto* row = static_cast<QHBoxLayout*>(buttonRow_->layout());
    row->insertWidget(row->count() - 1, button);
    const int index = static_cast<int>(pages_.size());
    pages_.push_back(page);
    buttons_.push_back(button);
    QObject::connect(button, &QPushButton::clicked, this, [this, index] { Activate(index); });
    return page;
}

QString TPageControl::Caption(int index) const { return Page(index)->windowTitle(); }

QWidget* TPageControl::ActivePage() const {
    QWidget* current = stack_->currentWidget();
    return current == emptyPage_ ? nullptr : current;
}

void TPageControl::SetActivePage(QWidget* page) {
    stack_->setCurrentWidget(page ? page : emptyPage_);
    for (size_t i = 0; i < pages_.size(); ++i) buttons_[i]->setChecked(pages_[i] == page);
}

void TPageControl::Activate(int index) {
    SetActivePage(Page(index));
    if (onChange_) onChange_();
}

QLineEdit* MakeHintField(const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    edit->setFrame(false);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setStyleSheet("QLineEdit { background: transparent; border: none; }");
    edit->setFixedWidth(209);
    return edit;
}

namespace {
class TPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return 'x';
        if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
}  // namespace

QLineEdit* MakePasswordEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    auto* style = new TPasswordStyle;
    style->setParent(edit);
    edit->setStyle(style);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

void InitializeApplicationFont() {
    static bool done = false;
    if (done) return;
    done = true;
    const char* path = "/usr/share/wine/fonts/tahoma.ttf";
    QString family = "Tahoma";
    const int id = QFontDatabase::addApplicationFont(path);
    if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty())
        family = QFontDatabase::applicationFontFamilies(id).first();
    QFont font(family);
    font.setPixelSize(11);
    QApplication::setFont(font);
}

#include "ui/toolkit/DarkAppearance.h"

#include "ui/controls/Theme.h"
#include "ui/toolkit/DarkStyle.h"

#include <QApplication>
#include <QToolTip>

namespace DarkAppearance {

namespace {

QString rgba(const Theme::Palette& palette, double opacity = 1.0) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(palette.red255)
        .arg(palette.green255)
        .arg(palette.blue255)
        .arg(opacity);
}

} // namespace

QPalette palette() {
    QPalette result;
    const auto set = [&result](QPalette::ColorRole role, const QColor& active,
                               const QColor& disabled) {
        result.setColor(QPalette::Active, role, active);
        result.setColor(QPalette::Inactive, role, active);
        result.setColor(QPalette::Disabled, role, disabled);
    };
    const QColor dimmed = Theme::muted.color(0.5);
    set(QPalette::Window, Theme::background.color(), Theme::background.color());
    set(QPalette::WindowText, Theme::ink.color(), dimmed);
    set(QPalette::Base, Theme::console.color(), Theme::console.color());
    set(QPalette::AlternateBase, Theme::surface.color(), Theme::surface.color());
    set(QPalette::ToolTipBase, Theme::elevated.color(), Theme::elevated.color());
    set(QPalette::ToolTipText, Theme::ink.color(), Theme::ink.color());
    set(QPalette::PlaceholderText, Theme::muted.color(0.7), dimmed);
    set(QPalette::Text, Theme::ink.color(), dimmed);
    set(QPalette::Button, Theme::elevated.color(), Theme::elevated.color());
    set(QPalette::ButtonText, Theme::ink.color(), dimmed);
    set(QPalette::BrightText, Theme::danger.color(), Theme::danger.color());
    set(QPalette::Light, Theme::lineBright.color(), Theme::lineBright.color());
    set(QPalette::Midlight, Theme::line.color(), Theme::line.color());
    set(QPalette::Mid, Theme::line.color(), Theme::line.color());
    set(QPalette::Dark, Theme::background.color(), Theme::background.color());
    set(QPalette::Shadow, Theme::background.color(), Theme::background.color());
    set(QPalette::Highlight, Theme::cyan.color(0.35), Theme::line.color());
    set(QPalette::HighlightedText, Theme::ink.color(), dimmed);
    set(QPalette::Link, Theme::cyan.color(), dimmed);
    set(QPalette::LinkVisited, Theme::cyan.color(), dimmed);
    return result;
}

QString styleSheet() {
    const QString background = rgba(Theme::background);
    const QString elevated = rgba(Theme::elevated);
    const QString surface = rgba(Theme::surface);
    const QString line = rgba(Theme::line);
    const QString lineBright = rgba(Theme::lineBright);
    const QString console = rgba(Theme::console);
    const QString ink = rgba(Theme::ink);
    const QString muted = rgba(Theme::muted);
    const QString dimmed = rgba(Theme::muted, 0.5);
    const QString cyan = rgba(Theme::cyan);
    const QString selection = rgba(Theme::cyan, 0.25);
    const QString primaryFill = rgba(Theme::cyan, 0.2);

    QString sheet = QStringLiteral(R"(
QToolTip { color: %ink; background-color: %elevated; border: 1px solid %lineBright;
           padding: 3px 6px; }
QMenu { color: %ink; background-color: %elevated; border: 1px solid %lineBright;
        padding: 5px 0px; }
QMenu::item { padding: 4px 22px 4px 16px; background: transparent; }
QMenu::item:selected { background-color: %selection; color: %ink; }
QMenu::item:disabled { color: %dimmed; }
QMenu::separator { height: 1px; background: %line; margin: 5px 10px; }
QLineEdit, QPlainTextEdit, QTextEdit, QAbstractSpinBox {
    color: %ink; background-color: %console; border: 1px solid %line;
    border-radius: 5px; padding: 3px 6px; selection-background-color: %selection; }
QLineEdit:focus, QPlainTextEdit:focus, QTextEdit:focus, QAbstractSpinBox:focus {
    border: 2px solid %cyan; padding: 2px 5px; }
QLineEdit:disabled, QPlainTextEdit:disabled, QTextEdit:disabled, QAbstractSpinBox:disabled {
    color: %dimmed; border-color: %line; }
QComboBox { color: %ink; background-color: %elevated; border: 1px solid %line;
            border-radius: 5px; padding: 3px 8px; }
QComboBox:focus { border: 2px solid %cyan; padding: 2px 7px; }
QComboBox:disabled { color: %dimmed; }
QComboBox QAbstractItemView { color: %ink; background-color: %elevated;
    border: 1px solid %lineBright; selection-background-color: %selection;
    selection-color: %ink; outline: 0px; }
QCheckBox, QRadioButton { color: %ink; spacing: 6px; }
QCheckBox:disabled, QRadioButton:disabled { color: %dimmed; }
QTabWidget::pane { border: 1px solid %line; border-radius: 6px; background: %background;
                   top: -1px; }
QTabBar::tab { color: %muted; background: %background; border: 1px solid %line;
               padding: 5px 14px; margin-right: 2px; border-top-left-radius: 6px;
               border-top-right-radius: 6px; }
QTabBar::tab:selected { color: %ink; background: %elevated; border-bottom-color: %elevated; }
QListView, QTreeView, QTableView, QListWidget { color: %ink; background-color: %console;
    border: 1px solid %line; selection-background-color: %selection;
    selection-color: %ink; outline: 0px; }
QScrollBar:vertical { background: transparent; width: 10px; margin: 0px; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 0px; }
QScrollBar::handle { background: %lineBright; border-radius: 4px; min-height: 24px;
                     min-width: 24px; margin: 1px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; }
QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }
QProgressBar { color: %ink; background: %elevated; border: 1px solid %line;
               border-radius: 4px; text-align: center; }
QProgressBar::chunk { background: %cyan; border-radius: 3px; }
QDialog, QMessageBox { background-color: %background; }
QMessageBox QLabel { color: %ink; }
QDialogButtonBox QPushButton, QMessageBox QPushButton, QFileDialog QPushButton {
    color: %ink; background-color: %elevated; border: 1px solid %line;
    border-radius: 7px; padding: 6px 14px; min-width: 64px; }
QDialogButtonBox QPushButton:pressed, QMessageBox QPushButton:pressed,
QFileDialog QPushButton:pressed { background-color: %lineBright; }
QDialogButtonBox QPushButton:default, QMessageBox QPushButton:default {
    border-color: %cyan; background-color: %primaryFill; }
QDialogButtonBox QPushButton:disabled, QFileDialog QPushButton:disabled {
    color: %dimmed; border-color: %line; }
QToolButton { color: %ink; background: transparent; border: 1px solid transparent;
              border-radius: 5px; padding: 2px; }
QToolButton:hover { border-color: %line; }
QHeaderView::section { color: %muted; background: %surface; border: 0px;
                       border-right: 1px solid %line; padding: 3px 6px; }
QSplitter::handle { background: transparent; }
)");
    // Longest names first, so "%lineBright" is not read as "%line" + "Bright".
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("%primaryFill"), primaryFill},
        {QStringLiteral("%background"), background},
        {QStringLiteral("%lineBright"), lineBright},
        {QStringLiteral("%selection"), selection},
        {QStringLiteral("%elevated"), elevated},
        {QStringLiteral("%surface"), surface},
        {QStringLiteral("%console"), console},
        {QStringLiteral("%dimmed"), dimmed},
        {QStringLiteral("%muted"), muted},
        {QStringLiteral("%cyan"), cyan},
        {QStringLiteral("%line"), line},
        {QStringLiteral("%ink"), ink},
    };
    for (const auto& [name, value] : names) {
        sheet.replace(name, value);
    }
    return sheet;
}

void apply(QApplication& app) {
    // Native (portal or GTK) file dialogs would be drawn in the desktop's
    // own, possibly light, theme.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication::setStyle(new DarkStyle);
    QApplication::setPalette(palette());
    QToolTip::setPalette(palette());
    QApplication::setFont(Theme::font(13));
    app.setStyleSheet(styleSheet());
}

} // namespace DarkAppearance

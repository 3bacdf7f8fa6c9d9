// Every control of the main window at its fixed place, with its caption and initial state.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/form_main.h"
#include "app/port_combo_box.h"
#include "app/string_grid.h"

namespace tessaly {
namespace {

template <typename Widget>
Widget* place(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int left, int top,
                    int width, int height) {
    auto* b = place<QPushButton>(parent, name, left, top, width, height);
    b->setText(QString::fromLatin1(caption));
    return b;
}

QGroupBox* groupBox(QWidget* parent, const char* name, const char* title, int left, int top,
                    int width, int height) {
    auto* g = place<QGroupBox>(parent, name, left, top, width, height);
    g->setTitle(QString::fromLatin1(title));
    return g;
}

QRadioButton* radioButton(QWidget* parent, const char* name, const char* caption, int top,
                          bool checked) {
    auto* r = place<QRadioButton>(parent, name, 9, top, 55, 15);
    r->setText(QString::fromLatin1(caption));
    r->setChecked(checked);
    return r;
}

// A right-aligned label sized to its text, its right edge at `right`.
QLabel* rightAlignedLabel(QWidget* parent, const char* name, const char* caption, int right, int top) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(right - label->width(), top);
    return label;
}

template <typename Combo>
Combo* editableCombo(QWidget* parent, const char* name, int left, int width, const QString& text,
                     const QStringList& items) {
    auto* combo = place<Combo>(parent, name, left, 18, width, 21);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setMaxVisibleItems(15);
    combo->setEditText(text);
    return combo;
}

// An edit field with its label on its left, as one labelled edit.
QLineEdit* labeledEdit(QWidget* parent, const char* name, const char* label, int left, int width,
                       const QString& text) {
    auto* edit = place<QLineEdit>(parent, name, left, 18, width, 21);
    edit->setText(text);
    auto* caption = new QLabel(QString::fromLatin1(label), parent);
    caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    caption->setBuddy(edit);
    caption->adjustSize();
    caption->move(left - caption->width() - 3, 18 + (21 - caption->height()) / 2);
    return edit;
}

QStringList portNumbers() {
    QStringList items;
    for (int n = 1; n <= 20; ++n) items << QString::number(n);
    return items;
}

const QStringList kBitRates = {"300",   "600",   "1200",   "2400",   "4800",   "9600",  "19200",
                               "38400", "57600", "115200", "230400", "460800", "921600"};

}  // namespace

void TFormMain::createControls() {
    const char* cmdNames[] = {"ButtonCmd1", "ButtonCmd2", "ButtonCmd3", "ButtonCmd4"};
    for (int i = 0; i < 4; ++i) {
        ButtonCmd[i] = button(this, cmdNames[i], "", 8 + 16 * i, 5, 16, 22);
        ButtonCmd[i]->setVisible(i == 2);
    }
    ButtonCmd[2]->setFocusPolicy(Qt::ClickFocus);  // not a tab stop

    LabelErr = new QLabel(this);
    LabelErr->setObjectName(QStringLiteral("LabelErr"));
    LabelErr->move(80, 13);
    LabelErr->adjustSize();
    LabelLog = rightAlignedLabel(this, "LabelLog", "", kLogLabelRight, 11);
    ButtonLog = button(this, "ButtonLog", "Save log", 414, 5, 60, 22);
    createChartButton();

    StringGrid1 = new StringGrid(view_.grid(Channel::A), this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(8, 32, 229, 243);
    StringGrid2 = new StringGrid(view_.grid(Channel::B), this);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    StringGrid2->setGeometry(245, 32, 229, 243);

    // The rover's line below everything else: the window grows by it and no control moves.
    LabelRover = place<QLabel>(this, "LabelRover", 8, 389, 466, 16);
    LabelRover->setAutoFillBackground(true);
    LabelRover->setIndent(3);

    createInputControls();
    createOutputControls();
    setTabOrderOfChildren();
}

void TFormMain::createInputControls() {
    GroupBoxInput = groupBox(this, "GroupBoxInput", " Input ", 8, 281, 65, 50);
    RadioButtonSerial = radioButton(GroupBoxInput, "RadioButtonSerial", "Serial", 15, true);
    RadioButtonTCP = radioButton(GroupBoxInput, "RadioButtonTCP", "TCP", 31, false);

    GroupBoxSerial = groupBox(this, "GroupBoxSerial", " Serial input : NEO-D9C ", 79, 281, 395, 50);
    LabelPort = rightAlignedLabel(GroupBoxSerial, "LabelPort", "Port", 40, 22);
    ComboBoxPort = editableCombo<PortComboBox>(GroupBoxSerial, "ComboBoxPort", 45, 121, "COM1", portNumbers());
    LabelBaud = rightAlignedLabel(GroupBoxSerial, "LabelBaud", "Baud", 205, 22);
    ComboBoxBaud = editableCombo<QComboBox>(GroupBoxSerial, "ComboBoxBaud", 210, 60, "115200", kBitRates);
    ButtonOpen = button(GroupBoxSerial, "ButtonOpen", "Open", 290, 16, 40, 25);
    ButtonClose = button(GroupBoxSerial, "ButtonClose", "Close", 340, 16, 40, 25);
    ButtonClose->setEnabled(false);

    GroupBoxTCP = groupBox(this, "GroupBoxTCP", " TCP input : NEO-D9C ", 79, 281, 395, 50);
    GroupBoxTCP->hide();
    LabeledEditTcpHost = labeledEdit(GroupBoxTCP, "LabeledEditTcpHost", "Host ", 45, 121, "");
    LabeledEditTcpPort = labeledEdit(GroupBoxTCP, "LabeledEditTcpPort", "Port ", 210, 60, "");
    ButtonTCPopen = button(GroupBoxTCP, "ButtonTCPopen", "Open", 290, 16, 40, 25);
    ButtonTCPclose = button(GroupBoxTCP, "ButtonTCPclose", "Close", 340, 16, 40, 25);
    ButtonTCPclose->setEnabled(false);
}

void TFormMain::createOutputControls() {
    GroupBoxOutput = groupBox(this, "GroupBoxOutput", " Output ", 8, 333, 65, 50);
    RadioButtonSerial2 = radioButton(GroupBoxOutput, "RadioButtonSerial2", "Serial", 15, true);
    RadioButtonTCP2 = radioButton(GroupBoxOutput, "RadioButtonTCP2", "TCP", 31, false);

    GroupBoxSerial2 = groupBox(this, "GroupBoxSerial2", " Serial output : ZED-F9P ", 79, 333, 395, 50);
    LabelPort2 = rightAlignedLabel(GroupBoxSerial2, "LabelPort2", "Port", 40, 22);
    // Another port than the input's: the two receivers are never on one.
    ComboBoxPort2 = editableCombo<PortComboBox>(GroupBoxSerial2, "ComboBoxPort2", 45, 121, "COM2", portNumbers());
    LabelBaud2 = rightAlignedLabel(GroupBoxSerial2, "LabelBaud2", "Baud", 205, 22);
    ComboBoxBaud2 = editableCombo<QComboBox>(GroupBoxSerial2, "ComboBoxBaud2", 210, 60, "115200", kBitRates);
    ButtonOpen2 = button(GroupBoxSerial2, "ButtonOpen2", "Open", 290, 16, 40, 25);
    ButtonClose2 = button(GroupBoxSerial2, "ButtonClose2", "Close", 340, 16, 40, 25);
    ButtonClose2->setEnabled(false);

    GroupBoxTCP2 = groupBox(this, "GroupBoxTCP2", " TCP output : ZED-F9P ", 79, 333, 395, 50);
    GroupBoxTCP2->hide();
    LabeledEditTcpHost2 = labeledEdit(GroupBoxTCP2, "LabeledEditTcpHost2", "Host ", 45, 121, "localhost");
    LabeledEditTCPport2 = labeledEdit(GroupBoxTCP2, "LabeledEditTCPport2", "Port ", 210, 60, "5555");
    ButtonTCPopen2 = button(GroupBoxTCP2, "ButtonTCPopen2", "Open", 290, 16, 40, 25);
    ButtonTCPclose2 = button(GroupBoxTCP2, "ButtonTCPclose2", "Close", 340, 16, 40, 25);
    ButtonTCPclose2->setEnabled(false);
}

void TFormMain::setTabOrderOfChildren() {
    QWidget* order[] = {ButtonCmd[0],   ButtonCmd[1],    ButtonCmd[2],  ButtonCmd[3],  ButtonLog,
                        ButtonChart,    StringGrid1,     StringGrid2,   GroupBoxInput, GroupBoxSerial,
                        GroupBoxTCP,    GroupBoxOutput,  GroupBoxSerial2, GroupBoxTCP2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace tessaly

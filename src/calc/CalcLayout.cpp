#include "calc/CalcLayout.h"

#include "calc/CalcFigures.h"

#include "widgets/NumericFilter.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace CalcLayout {

namespace {

QFont arialBold(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, colour);
    w->setPalette(palette);
}

QGridLayout *setUpWindow(QWidget *window, const QString &title)
{
    window->setWindowTitle(title);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(224, 224, 224));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    auto *layout = new QGridLayout(window);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(6);
    return layout;
}

QLineEdit *addAmountRow(QGridLayout *layout, int row, const QString &caption, const char *boxName,
                        const QString &initial)
{
    QWidget *window = layout->parentWidget();
    auto *label = new QLabel(caption, window);
    label->setObjectName(QStringLiteral("lblLabel"));
    label->setProperty("index", row); // position in the caption array
    label->setFont(arialBold(8.25));
    setTextColour(label, QColor(64, 64, 64));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *box = new QLineEdit(window);
    box->setObjectName(QString::fromLatin1(boxName));
    box->setAccessibleName(caption.trimmed());
    box->setText(initial);
    attachNumericFilter(box);
    label->setBuddy(box);
    layout->addWidget(label, row, 0);
    layout->addWidget(box, row, 1);
    return box;
}

QPushButton *addCalcButton(QGridLayout *layout, int row)
{
    auto *button = new QPushButton(QStringLiteral("Calc"), layout->parentWidget());
    button->setObjectName(QStringLiteral("butDS"));
    button->setAutoDefault(false);
    layout->addWidget(button, row, 0, 1, 2, Qt::AlignRight);
    return button;
}

QLabel *addResultLabel(QGridLayout *layout, int row, const char *labelName)
{
    auto *label = new QLabel(layout->parentWidget());
    label->setObjectName(QString::fromLatin1(labelName));
    label->setFont(arialBold(9));
    setTextColour(label, QColor(128, 0, 0));
    // Room for two lines, so the window keeps its size when a result appears.
    const int line = label->fontMetrics().lineSpacing();
    label->setMinimumSize(line * 14, line * 2 + 4);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(label, row, 0, 1, 2);
    return label;
}

} // namespace

Controls setUpCalculator(QWidget *window, const QString &title, std::initializer_list<AmountRow> rows,
                         const char *resultName)
{
    QGridLayout *layout = setUpWindow(window, title);
    Controls controls;
    for (const AmountRow &row : rows) {
        QLineEdit *box = addAmountRow(layout, int(controls.boxes.size()), QString::fromLatin1(row.caption), row.boxName,
                                      QString::fromLatin1(row.initial));
        if (!controls.boxes.isEmpty())
            QWidget::setTabOrder(controls.boxes.last(), box);
        controls.boxes.append(box);
    }
    controls.calc = addCalcButton(layout, int(rows.size()));
    QWidget::setTabOrder(controls.boxes.last(), controls.calc);
    // Enter in any box works the figures out, as "Calc" does.
    for (QLineEdit *box : std::as_const(controls.boxes))
        QObject::connect(box, &QLineEdit::returnPressed, controls.calc, &QPushButton::click);
    controls.result = addResultLabel(layout, int(rows.size()) + 1, resultName);
    return controls;
}

} // namespace CalcLayout

void CalcLayout::copyPersonalAmounts(const QString &capitalText, const QString &commissionText, QLineEdit *capital,
                                     QLineEdit *commission)
{
    capital->setText(CalcFigures::plainAmountText(capitalText));
    commission->setText(CalcFigures::plainAmountText(commissionText));
}

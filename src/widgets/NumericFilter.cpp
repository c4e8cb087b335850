#include "widgets/NumericFilter.h"

#include <QLineEdit>

void NumericFilter(QLineEdit *box)
{
    const QString filtered = numericText(box->text());
    if (filtered != box->text())
        box->setText(filtered);
    box->setCursorPosition(int(filtered.size()));
}

void attachNumericFilter(QLineEdit *box)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box] { NumericFilter(box); });
}

#include "widgets/NumericFilter.h"

#include <QLineEdit>

void NumericFilter(QLineEdit *box, AmountSign sign)
{
    const QString filtered = sign == AmountSign::Signed ? signedNumericText(box->text()) : numericText(box->text());
    if (filtered != box->text())
        box->setText(filtered);
    box->setCursorPosition(int(filtered.size()));
}

void attachNumericFilter(QLineEdit *box, AmountSign sign)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box, sign] { NumericFilter(box, sign); });
}

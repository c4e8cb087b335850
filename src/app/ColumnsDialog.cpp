#include "app/ColumnsDialog.h"

#include "base/Text.h"
#include "screen/TechnicalMeasures.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString kColumnsKey = QStringLiteral("View/TechnicalColumns");

QString checkName(const TechnicalMeasure &m)
{
    return QStringLiteral("chkColumn") + latin(m.name);
}

} // namespace

ColumnsDialog::ColumnsDialog(const QList<int> &shown, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmColumns"));
    setWindowTitle(QStringLiteral("Columns"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Technical columns shown after SHARES:"), this));
    for (size_t i = 0; i < kTechnicalMeasures.size(); ++i) {
        const TechnicalMeasure &m = kTechnicalMeasures[i];
        auto *check = new QCheckBox(latin(m.caption), this);
        check->setObjectName(checkName(m));
        check->setAccessibleName(latin(m.caption));
        check->setChecked(shown.contains(int(i)));
        layout->addWidget(check);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QList<int> ColumnsDialog::chosen() const
{
    QList<int> measures;
    for (size_t i = 0; i < kTechnicalMeasures.size(); ++i) {
        if (findChild<QCheckBox *>(checkName(kTechnicalMeasures[i]))->isChecked())
            measures.append(int(i));
    }
    return measures;
}

QList<int> ColumnsDialog::load(QSettings &settings)
{
    const QStringList names = settings.value(kColumnsKey).toStringList();
    QList<int> measures;
    for (size_t i = 0; i < kTechnicalMeasures.size(); ++i) {
        if (names.contains(latin(kTechnicalMeasures[i].name)))
            measures.append(int(i));
    }
    return measures;
}

void ColumnsDialog::save(QSettings &settings, const QList<int> &shown)
{
    QStringList names;
    for (int i : shown)
        names.append(latin(kTechnicalMeasures[size_t(i)].name));
    settings.setValue(kColumnsKey, names);
    settings.sync();
}

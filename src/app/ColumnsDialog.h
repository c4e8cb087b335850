#pragma once

#include <QDialog>
#include <QList>

class QSettings;

// "View" > "Columns...": which technical columns the result grid shows after
// SHARES, one check box per measure of kTechnicalMeasures.
class ColumnsDialog : public QDialog
{
    Q_OBJECT

public:
    // shown: indexes into kTechnicalMeasures.
    explicit ColumnsDialog(const QList<int> &shown, QWidget *parent = nullptr);

    // The ticked measures, in kTechnicalMeasures order.
    QList<int> chosen() const;

    // Kept in the settings store as the measures' names, key "View/TechnicalColumns";
    // names the program does not know are passed over.
    static QList<int> load(QSettings &settings);
    static void save(QSettings &settings, const QList<int> &shown);
};

#include "about/frmAbout.h"

#include "about/AboutInfo.h"

#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QShortcut>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget *owner)
    : ToolWindow(owner)
{
    // The banner lives in the GUI library, a static one: its resource has to
    // be pulled in by name.
    Q_INIT_RESOURCE(about);

    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap(QStringLiteral(":/about/banner.jpg")));
    image->setFixedSize(400, 134);
    image->setAccessibleName(QStringLiteral("Tarnvale"));
    layout->addWidget(image, 0, Qt::AlignLeft | Qt::AlignTop);

    auto *about = new QLabel(QStringLiteral("Info"), this);
    about->setObjectName(QStringLiteral("lblAbout"));
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    about->setFont(font);
    QPalette palette = about->palette();
    palette.setColor(QPalette::WindowText, QColor(64, 64, 64));
    about->setPalette(palette);
    about->setAlignment(Qt::AlignCenter);
    layout->addWidget(about, 1);

    // 401 x 219 client pixels at 96 DPI, scaled with the screen's font DPI.
    const double scale = logicalDpiX() / 96.0;
    setFixedSize(qMax(401, qRound(401 * scale)), qMax(219, qRound(219 * scale)));

    // Escape or Enter closes the box, as its close box does.
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);

    Form_Load();
}

void frmAbout::Form_Load()
{
    findChild<QLabel *>(QStringLiteral("lblAbout"))->setText(AboutInfo::programVersionLine());
}

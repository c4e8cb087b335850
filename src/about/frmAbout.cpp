#include "about/frmAbout.h"

#include "about/AboutInfo.h"
#include "app/frmMain.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QVBoxLayout>

frmAbout::frmAbout(frmMain *main) : QWidget(nullptr), m_main(main)
{
    // The banner lives in the GUI library, a static one: its resource has to
    // be pulled in by name.
    Q_INIT_RESOURCE(about);

    // A top-level window of its own: as a child it would be disabled along
    // with the main window.
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);

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

    // Goes with the main window rather than outliving it.
    connect(main, &QObject::destroyed, this, [this] { delete this; });
    Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load()
{
    m_main->setEnabled(false);
    findChild<QLabel *>(QStringLiteral("lblAbout"))->setText(AboutInfo::programVersionLine());
}

void frmAbout::Form_Unload()
{
    if (m_main)
        m_main->setEnabled(true);
}

void frmAbout::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

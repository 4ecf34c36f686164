#include "ui/about_window.h"

#include "ui/app_info.h"
#include "ui/fixed_window.h"
#include "ui/line_control.h"
#include "ui/twips.h"

#include <QLabel>
#include <QPushButton>

namespace vidrake {
namespace {

const QColor kGrey(0x80, 0x80, 0x80);

QLabel* whiteLabel(QWidget* parent, const char* name, QRect geometry, const char* design) {
    auto* label = new QLabel(QString::fromLatin1(design), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(p);
    return label;
}

}  // namespace

AboutWindow::AboutWindow() : QDialog(nullptr) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Vidrake Info"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing unloads it; the next open loads afresh
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/vidrake/vidrake.png")));
    setFixedSize(twips(5730), twips(3555));
    QPalette ground = palette();
    ground.setColor(QPalette::Window, kGrey);
    setPalette(ground);
    setAutoFillBackground(true);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipRect(120, 240, 780, 780));
    picIcon->setFrameShape(QFrame::Panel);
    picIcon->setFrameShadow(QFrame::Sunken);
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(QPixmap(QStringLiteral(":/vidrake/vidrake.png")));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipRect(4245, 2625, 1260, 345));
    cmdOK->setDefault(true);  // Enter; Esc closes a dialog the same way
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);

    m_line1 = new LineControl(this, kGrey, 1);
    m_line1->setObjectName(QStringLiteral("Line1_1"));
    m_line1->setPoints({twips(90), twips(2445)}, {twips(5654), twips(2445)});
    lblDescription =
        whiteLabel(this, "lblDescription", twipRect(1050, 1125, 3885, 1170), "App Description");
    lblTitle = whiteLabel(this, "lblTitle", twipRect(1050, 240, 3885, 480), "Application Title");
    m_line0 = new LineControl(this, Qt::white, 2);
    m_line0->setObjectName(QStringLiteral("Line1_0"));
    m_line0->setPoints({twips(105), twips(2460)}, {twips(5654), twips(2460)});
    lblVersion = whiteLabel(this, "lblVersion", twipRect(1050, 780, 3885, 225), "Version");
    lblDisclaimer =
        whiteLabel(this, "lblDisclaimer", twipRect(255, 2625, 3870, 825), "Warning: ...");

    setTabOrder(cmdOK, picIcon);
    cmdOK->setFocus();
    keepFixedWindow(*this, *this);
    Form_Load();
}

void AboutWindow::Form_Load() {
    ++m_loads;
    const QString title = QString::fromLatin1(app_info::kTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(app_info::kMajor)
                            .arg(app_info::kMinor)
                            .arg(app_info::kRevision));
    lblTitle->setText(title);
    lblDescription->setText(QString::fromUtf8(app_info::kComments));
    lblDisclaimer->setText(QString::fromUtf8(app_info::kLegalTrademarks));
}

}  // namespace vidrake

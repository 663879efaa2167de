#include "about_form.h"

#include <QCoreApplication>
#include <QIcon>
#include <QPalette>
#include <QSpacerItem>

#include "project_links.h"
#include "resources.h"

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("AboutDialog", text);
}

QTextEdit* contactPane(QWidget* parent, const char* name) {
    auto* edit = new QTextEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setFrameShape(QFrame::NoFrame);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Active, QPalette::Base, QColor(240, 240, 240));
    edit->setPalette(palette);
    return edit;
}

QLabel* linkLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setOpenExternalLinks(true);
    label->setMargin(5);
    return label;
}

}  // namespace

namespace Ui {

void AboutDialog::setupUi(QDialog* dialog) {
    TrackerConfig::ensureResources();
    dialog->setObjectName(QStringLiteral("AboutDialog"));
    dialog->setWindowIcon(QIcon(QStringLiteral(":/images/quorvane/fenlark_logo_32x32.png")));
    dialog->setMinimumSize(570, 370);
    dialog->setMaximumSize(570, 370);
    dialog->resize(570, 370);

    verticalLayoutWidget = new QWidget(dialog);
    verticalLayoutWidget->setObjectName(QStringLiteral("verticalLayoutWidget"));
    verticalLayoutWidget->setGeometry(QRect(20, 10, 550, 360));
    verticalLayout = new QVBoxLayout(verticalLayoutWidget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(0, 0, 20, 10);

    frame = new QFrame(verticalLayoutWidget);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setMinimumHeight(150);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setStyleSheet(QStringLiteral(
        "border-image: url(:/images/quorvane/fenlark_logo_about-dialog01transparent.png);"));
    verticalLayout->addWidget(frame);

    versionLabel = new QLabel(verticalLayoutWidget);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout->addWidget(versionLabel);

    line = new QFrame(verticalLayoutWidget);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout->addWidget(line);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_3 = new QVBoxLayout();
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    textEdit = contactPane(verticalLayoutWidget, "textEdit");
    textEdit_2 = contactPane(verticalLayoutWidget, "textEdit_2");
    label = linkLabel(verticalLayoutWidget, "label");
    label_2 = linkLabel(verticalLayoutWidget, "label_2");
    verticalLayout_2->addWidget(textEdit);
    verticalLayout_2->addWidget(label);
    verticalLayout_3->addWidget(textEdit_2);
    verticalLayout_3->addWidget(label_2);
    horizontalLayout_2->addLayout(verticalLayout_2);
    horizontalLayout_2->addLayout(verticalLayout_3);
    verticalLayout->addLayout(horizontalLayout_2);

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    closeButton = new QPushButton(verticalLayoutWidget);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    horizontalLayout->addWidget(closeButton);
    verticalLayout->addLayout(horizontalLayout);

    retranslateUi(dialog);
    QObject::connect(closeButton, &QPushButton::pressed, dialog, &QDialog::close);
}

void AboutDialog::retranslateUi(QDialog* dialog) {
    dialog->setWindowTitle(tr("Quorvane - Fenlark"));
    const QString repository = QStringLiteral(QUORVANE_REPOSITORY_URL);
    const QString readme = QStringLiteral(QUORVANE_README_URL);
    textEdit->setHtml(tr("<b>Quorvane</b><br>Host software for the USB motion tracker: "
                         "the device library, this configuration tool, the mouse emulator "
                         "and the console demo.<br>Source: <a href=\"%1\">the Quorvane "
                         "repository</a>")
                          .arg(repository));
    textEdit_2->setHtml(tr("<b>Help</b><br>Building, running, the udev rule and the "
                           "programs' options are described in <a href=\"%1\">README.md</a>; "
                           "common questions in FAQ.txt beside this program "
                           "(menu ? - FAQ).")
                            .arg(readme));
    label->setText(tr("<a href=\"%1\">Repository</a>").arg(repository));
    label_2->setText(tr("<a href=\"%1\">README</a>").arg(readme));
    closeButton->setText(tr("Close"));
}

}  // namespace Ui

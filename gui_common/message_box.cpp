#include "message_box.h"

#include <QMessageBox>

namespace GuiCommon {

void showMessage(const QString& text) {
    QMessageBox box;
    box.setWindowTitle(QString());
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace GuiCommon

#include "VantrelMessageBox.h"

namespace VantrelMessageBox {

namespace {
Handler &handler()
{
    static Handler instance;
    return instance;
}
} // namespace

QMessageBox::StandardButton show(QWidget *parent, const QString &text)
{
    if (handler())
        return handler()(text);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}
void clearHandler()
{
    handler() = nullptr;
}

} // namespace VantrelMessageBox

#include "app/IconEx.h"

#include "app/Unit1.h"
#include "app/myutils.h"
#include "platform/ModalForms.h"

#include <QCloseEvent>
#include <QLabel>

TFrmIconEx::TFrmIconEx(QWidget* Owner) : QWidget(Owner, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    Image1 = new QLabel(this);
    Image2 = new QLabel(this);
    for (QLabel* image : {Image1, Image2}) {
        image->setGeometry(0, 0, 41, 41);
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    resize(287, 178);
    if (Owner) {
        const QRect owner = Owner->frameGeometry();
        move(owner.center() - QPoint(287 / 2, 178 / 2));
    }
    platform::keepBelowModalWindows(*this);
    FormCreate();
}

void TFrmIconEx::FormCreate() { setWindowTitle(GetUIText(111)); }

void TFrmIconEx::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    if (!MainFormClosing) {
        ShowSeparateWindow = false;
        if (OnUserClose)
            OnUserClose();
    }
}

void TFrmIconEx::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    event->setAccepted(canClose);
}

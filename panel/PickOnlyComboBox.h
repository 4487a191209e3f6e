#pragma once

#include <QComboBox>

// A drop-down list whose choice changes only by a pick in its opened list
// (a click, or Enter on the highlighted entry). A plain list also takes the
// wheel over the closed list, and the arrow, paging and letter keys, as a
// pick, so a hand resting on the mouse or a stray key would act.
class PickOnlyComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

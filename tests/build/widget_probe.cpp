// Built against the engine alone by the engine_has_no_widgets test, which passes only when
// this fails to compile: the engine must not see Qt Widgets.
#include <QWidget>

int widgetProbe()
{
    QWidget widget;
    return widget.isVisible() ? 1 : 0;
}

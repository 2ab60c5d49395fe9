// Must not compile: only the dialog room sees the widget toolkit.
#include <QWidget>

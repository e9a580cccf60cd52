// Refused: a Qt Widgets header, spelled with a comment in the directive.
#/**/include <QtWidgets/QWidget>

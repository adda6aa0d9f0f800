// The three 32 x 32 tool-bar images, drawn at run time:
// 0 envelope with a check mark ("Connetti"), 1 red square with a power
// symbol ("Chiudi"), 2 green arrow curving up to the right ("Invia mail").
#pragma once

#include <QImage>

QImage ToolBarImage(int index);

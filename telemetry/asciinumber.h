#pragma once

#include <QByteArrayView>

// A decimal number as the games write it in their text datagrams ("-12.5", "3e2", " 7"): the
// whole field or nothing. Blanks around it and a leading "+" are allowed. Anything else (an
// empty field, other text after the number, "nan", "inf", a value beyond the float range)
// reads as 0. Reads the bytes in place, without allocating: a datagram's fields are read on
// the control thread at the tick.
float asciiNumber(QByteArrayView field);

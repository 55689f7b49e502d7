#pragma once
// Attributes of a database object, carried along with a list item; nothing
// in the program reads them, they only travel with the items.

#include <QMetaType>
#include <QString>

#include <cstdint>

struct TDBObjectAttrs {
    int32_t ObjectType = 0;
    int32_t ObjectStatus = 0;
    int32_t ObjectStatusSpec = 0;
    QString ObjectOwner;

    void Assign(const TDBObjectAttrs& Source) { *this = Source; }
};

Q_DECLARE_METATYPE(TDBObjectAttrs)

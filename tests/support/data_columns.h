// A data table's columns declared in one line: addColumns<int, QString>("code", "text") does what
// one QTest::addColumn per column does.
#pragma once

#include <QTest>

template <typename... Types, typename... Names>
requires(sizeof...(Types) == sizeof...(Names) &&
         sizeof...(Types) > 0) void addColumns(const Names&... names) {
    (QTest::addColumn<Types>(names), ...);
}

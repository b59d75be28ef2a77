#pragma once

// Data-driven tests whose rows live in a table of structs: the test data holds only each row's index, named by
// the row's `name`, so a row reads as one line and the test function fetches the whole row at once.

#include <QTest>

#include <cstddef>

template <typename Row, std::size_t N>
void addTableRows(const Row (&rows)[N])
{
	QTest::addColumn<int>("row");
	for (std::size_t i = 0; i < N; ++i)
		QTest::newRow(rows[i].name) << int(i);
}

// The row of the running test's data.
template <typename Row, std::size_t N>
const Row &currentTableRow(const Row (&rows)[N])
{
	QFETCH(int, row);
	return rows[row];
}

#!/bin/sh
# The test programs run under GoogleTest. Qt Test's QVERIFY, QCOMPARE and QTRY_* report to
# Qt Test's own log, which GoogleTest never reads: a failing one returns from the test and
# the test passes. Waits are written as ASSERT_TRUE(QTest::qWaitFor(...)) instead.
if grep -rnE '\bQ(TRY_[A-Z_]+|COMPARE|VERIFY[A-Z0-9_]*)\(' "$1" --include='*.cpp' --include='*.h'; then
  echo "Qt Test assertions found above: they cannot fail a GoogleTest test" >&2
  exit 1
fi

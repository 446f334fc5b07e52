#include <QtQuickTest>

QUICK_TEST_MAIN(kit_quick)

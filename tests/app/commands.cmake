# The main window's commands end to end: settings file and Path_bak folder in
# the program's own folder (commands_test.d), beside no other test program.
bm_app_test(commands_test commands_test.cpp ${BM_QT_TEST_MAIN})

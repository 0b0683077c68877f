trilette_test(tst_cli tst_cli.cpp)
add_dependencies(tst_cli trilette-cli)
set_tests_properties(tst_cli PROPERTIES TIMEOUT 900)

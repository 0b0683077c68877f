trilette_test(tst_cli tst_cli.cpp)
add_dependencies(tst_cli trilette-cli)

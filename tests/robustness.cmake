trilette_test(tst_robustness tst_robustness.cpp)
add_dependencies(tst_robustness trilette-cli)
set_tests_properties(tst_robustness PROPERTIES TIMEOUT 600)

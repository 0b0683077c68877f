# Code generation: unit tests on nets built in memory, and the hand-written golden files.
trilette_test(tst_codegen tst_codegen.cpp)
trilette_test(tst_golden tst_golden.cpp)


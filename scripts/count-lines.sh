#!/usr/bin/env bash
# Lines of production code and of test code (.cpp and .h files under version control).
# Test code is everything built only for tests: the *_test.cpp files, all of tests/ and the
# test helpers and test plug-ins beside the production code (src/*/*TestSupport.h,
# src/support/testplugin/). Production is the rest of src/, apps/ and include/. Fuzz targets,
# benchmarks and examples count on neither side.
#   scripts/count-lines.sh            counts the checked-out tree
#   scripts/count-lines.sh <commit>   counts that commit
set -euo pipefail
cd "$(dirname "$0")/.."

# "path:lines" for every tracked .cpp and .h file (an empty file has no line to match).
git grep --count '' ${1:+"$1"} -- 'src/*.cpp' 'src/*.h' 'apps/*.cpp' 'apps/*.h' \
  'include/*.cpp' 'include/*.h' 'tests/*.cpp' 'tests/*.h' |
  sed "s|^${1:+$1:}||" |
  awk -F: '
    $1 ~ /^tests\// || $1 ~ /_test\.cpp$/ || $1 ~ /^src\/.*TestSupport\.(h|cpp)$/ ||
      $1 ~ /^src\/support\/testplugin\// { tests += $2; next }
    { production += $2 }
    END {
      total = production + tests
      printf "production lines: %d\n", production
      printf "test lines:       %d\n", tests
      printf "test share:       %.1f%% of %d lines (at most 33.3%%)\n", 100 * tests / total, total
    }'

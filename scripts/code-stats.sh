#!/usr/bin/env bash
# Counts the code lines git tracks (C++, Python, shell, JavaScript; blank and comment-only lines left out) under
# tests/ against everything else, so the share of test code can be watched as the product grows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Prints the number of lines that hold code. C-style files drop // lines and /* ... */ blocks; the others drop
# lines that start with #, except a C preprocessor line, which never reaches this branch.
count_code_lines() {
	local style=$1
	shift
	[ "$#" -eq 0 ] && { echo 0; return; }
	awk -v style="$style" '
		FNR == 1 { in_block = 0 }
		{
			line = $0
			sub(/^[ \t]+/, "", line)
			sub(/[ \t\r]+$/, "", line)
			if (line == "") next
			if (style == "c") {
				if (in_block) {
					if (index(line, "*/") == 0) next
					in_block = 0
					line = substr(line, index(line, "*/") + 2)
					sub(/^[ \t]+/, "", line)
					if (line == "") next
				}
				if (line ~ /^\/\//) next
				if (line ~ /^\/\*/) {
					if (index(substr(line, 3), "*/") == 0) { in_block = 1; next }
					rest = substr(line, index(substr(line, 3), "*/") + 4)
					sub(/^[ \t]+/, "", rest)
					if (rest == "") next
				}
			} else if (line ~ /^#/) {
				next
			}
			count++
		}
		END { print count + 0 }
	' "$@"
}

# Counts one side (tests or product) over every tracked file of the languages above.
count_side() {
	local side=$1
	local -a c_files=() hash_files=()
	local path
	while IFS= read -r path; do
		case "$side:$path" in
		tests:tests/*) ;;
		product:tests/*) continue ;;
		product:*) ;;
		*) continue ;;
		esac
		case "$path" in
		*.cpp | *.h | *.js) c_files+=("$path") ;;
		*.py | *.sh) hash_files+=("$path") ;;
		esac
	done < <(git ls-files -- '*.cpp' '*.h' '*.js' '*.py' '*.sh')
	echo $(($(count_code_lines c "${c_files[@]}") + $(count_code_lines hash "${hash_files[@]}")))
}

product=$(count_side product)
tests=$(count_side tests)
total=$((product + tests))
share=$(awk -v t="$tests" -v all="$total" 'BEGIN { printf "%.1f", all ? 100 * t / all : 0 }')
echo "product lines: $product"
echo "test lines:    $tests"
echo "total lines:   $total"
echo "test share:    $share%"

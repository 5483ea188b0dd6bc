#!/usr/bin/env bash
# The include rules that keep GL where it belongs:
#   - only the GL folders (gpu/, platform/, render/gl/, effects/gl/,
#     effects/<effect>/gl/, engine/gl/) include GL, EGL, GLX, GLFW or epoxy
#     headers or one of those folders;
#   - platform/ never includes gpu/ (the GPU layer builds on the platform);
#   - the effect models (effects/ and effects/<effect>/ themselves) and the
#     GL-free render layer (render/ itself) include only themselves, frame/,
#     resources/ (the embedded tables), the platform-independent maths
#     (system/portable_math.h) and the public headers.
# And the rule that keeps an effect described once: an option key's text
# ("beauty_effect_option") appears in the library's sources only in the
# folder whose descriptor declares it (callers such as tools, tests and the
# integrations may write keys).
# Prints every include or key that breaks a rule and fails if there is one.
set -euo pipefail
root=${1:-$(dirname "$0")/../..}
cd "$root"

gl_dir='^(gpu|platform|render/gl|effects/gl|effects/[a-z_]+/gl|engine/gl)/'
gl_header='#include *<(epoxy|EGL|GL|GLES[0-9]*|GLFW|KHR)/'
gl_include='#include *"(gpu|platform|render/gl|effects/gl|effects/[a-z_]+/gl|engine/gl)/'
library='^(capi|engine|extension|frame|gpu|platform|render|effects|cpu|denoise|detect|convert|system|resources)/'
status=0

while IFS= read -r file; do
  [[ $file =~ $library ]] || continue
  if ! [[ $file =~ $gl_dir ]]; then
    if grep -nE "$gl_header|$gl_include" "$file" | sed "s|^|$file:|" | grep .; then status=1; fi
  fi
  if [[ $file =~ ^platform/ ]] && grep -nE '#include *"gpu/' "$file" | sed "s|^|$file:|" | grep .; then
    status=1
  fi
  if [[ $file =~ ^(render|effects|effects/[a-z_]+)/[^/]+$ ]] && ! [[ $file =~ $gl_dir ]]; then
    if grep -nE '#include *"' "$file" |
        grep -vE '#include *"((render|effects|frame|resources|kelvo)/|system/portable_math\.h")' | sed "s|^|$file:|" | grep .; then
      status=1
    fi
  fi
done < <(git ls-files '*.h' '*.cpp' '*.c' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||')

files() { git ls-files '*.h' '*.cpp' '*.c' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||'; }
# Descriptor definitions: `const EffectDescriptor kName{` with the option key
# as the first string, on that line or the next.
descriptors=0
while IFS= read -r file; do
  [[ $file =~ $library ]] || continue
  while IFS= read -r key; do
    [ -n "$key" ] || continue
    descriptors=$((descriptors + 1))
    folder=$(dirname "$file")
    while IFS= read -r hit; do
      [[ $hit =~ $library ]] || continue
      [[ $hit == "$folder"/* ]] && continue
      grep -nF "\"$key\"" "$hit" | sed "s|^|$hit: option key of $folder: |"
      status=1
    done < <(files | xargs grep -lF "\"$key\"" 2>/dev/null)
  done < <(awk '/^const EffectDescriptor k[A-Za-z]*\{/ { if (!match($0, /"[^"]*"/)) { getline; match($0, /"[^"]*"/) }
         if (RSTART) print substr($0, RSTART + 1, RLENGTH - 2) }' "$file")
done < <(files | xargs grep -lE '^const EffectDescriptor k[A-Za-z]*\{' 2>/dev/null)
if [ $descriptors -eq 0 ]; then
  echo "no effect descriptor found"
  status=1
fi

# Rows per architecture: a shared file that declares or fills a row table
# (<family>RowsFor) holds no architecture #if; an architecture's rows and
# the init that puts them in the tables live in <folder>/<arch>/ (x86/,
# arm/, wasm/; generic/ where there are none), chosen by CMake.
arch_if='^[[:space:]]*#[[:space:]]*(if|elif|ifdef|ifndef)\b.*(KELVO_CPU_X86|__SSE[0-9_]*__|__AVX[0-9A-Z_]*__|__x86_64__|__i386__|__aarch64__|__arm__|__ARM_NEON|__wasm)'
arch_dir='/(x86|arm|wasm|generic)/'
row_table='^[A-Za-z0-9_:]+ +[A-Za-z0-9_]+RowsFor\(CpuFlags'
while IFS= read -r file; do
  [[ $file =~ $library ]] && ! [[ $file =~ $arch_dir ]] || continue
  grep -qE "$row_table" "$file" || continue
  if grep -nE "$arch_if" "$file" | sed "s|^|$file: architecture #if in a shared row table: |" | grep .; then
    status=1
  fi
done < <(git ls-files '*.h' '*.cpp' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||')

[ $status -eq 0 ] && echo "include rules hold"
exit $status

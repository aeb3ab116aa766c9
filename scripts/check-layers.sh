#!/usr/bin/env bash
# Checks that no include crosses the layers the wrong way:
#   PaperlarkCore/    never includes the model, the windows or Qt Widgets;
#   Paperlark/model/  never includes the windows or Qt Widgets, and its parts
#                     never include the facade (ScannerViewModel) that owns them.
# Usage: check-layers.sh [source dir] [Qt Widgets include dir]
# Prints every offending line and fails when there is one.
set -uo pipefail

root=${1:-"$(dirname "${BASH_SOURCE[0]}")/.."}
widgets=${2:-}
if [[ -z "$widgets" ]]; then
    widgets=$(ls -d /usr/include/*/qt6/QtWidgets 2>/dev/null | head -n 1)
fi
cd "$root" || exit 2
[[ -d PaperlarkCore && -d Paperlark/model ]] || { echo "check-layers: no sources in $root"; exit 2; }

# Qt Widgets headers, by the names they are included as: <QtWidgets/...>,
# <QWidget>, <qwidget.h> and so on.
widgetNames='QtWidgets'
if [[ -d "$widgets" ]]; then
    names=$(find "$widgets" -maxdepth 1 -type f -printf '%f\n' | grep -E '^(Q[A-Za-z0-9]+|q[a-z0-9_]+\.h)$' |
        sed 's/\./\\./g' | paste -sd '|')
    [[ -n "$names" ]] && widgetNames="QtWidgets|$names"
else
    echo "check-layers: Qt Widgets headers not found; checking <QtWidgets/...> only"
fi
widgetInclude="^[[:space:]]*#[[:space:]]*include[[:space:]]*<(${widgetNames})([/>])"

failed=0
report() { # rule, then grep output
    if [[ -n "$2" ]]; then
        echo "Layer violation ($1):"
        echo "$2"
        failed=1
    fi
}

sources() { find "$@" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \); }

core=$(sources PaperlarkCore)
model=$(sources Paperlark/model)

report "core includes the model or the windows" \
    "$(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(\.\./)*(Paperlark/)?(model|ui)/' $core)"
report "core includes Qt Widgets" "$(grep -HnE "$widgetInclude" $core)"
report "model includes the windows" \
    "$(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(\.\./)*(Paperlark/)?ui/' $model)"
report "model includes Qt Widgets" "$(grep -HnE "$widgetInclude" $model)"
report "core links Qt Widgets" "$(grep -HnE 'Qt6?::Widgets' $(find PaperlarkCore -name CMakeLists.txt))"
report "model links Qt Widgets" "$(grep -HnE 'Qt6?::Widgets|PaperlarkUi' Paperlark/model/CMakeLists.txt)"
parts=$(sources Paperlark/model | grep -v '/ScannerViewModel\.\(h\|cpp\)$')
report "a part of the model includes the facade" \
    "$(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(\.\./)*(Paperlark/)?model/ScannerViewModel\.h"' $parts)"

if ((failed)); then
    exit 1
fi
echo "Layers: core and model include nothing above them; the model's parts not the facade."

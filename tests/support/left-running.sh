#!/bin/sh
# Lists the Windows programs still running in a prefix, leaving out Wine's
# own services, which stay with a persistent server.
# Usage: left-running.sh PREFIX
for dir in /proc/[0-9]*; do
    case "$(readlink "$dir/exe" 2>/dev/null)" in *wine*) ;; *) continue ;; esac
    tr '\0' '\n' < "$dir/environ" 2>/dev/null | grep -qx "WINEPREFIX=$1" || continue
    command=$(tr '\0' ' ' < "$dir/cmdline" 2>/dev/null)
    case "$command" in
        ""|*wineserver*|*'\services.exe'*|*'\winedevice.exe'*|*'\plugplay.exe'*|*'\explorer.exe'*|\
        *'\rpcss.exe'*|*'\svchost.exe'*|*'\conhost.exe'*) ;;
        *) echo "  ${dir#/proc/}: $command" ;;
    esac
done

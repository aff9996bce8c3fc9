# Sourced by the toolchain scripts: fetching a Debian source package without touching
# /etc/apt, and a progress line for long builds.

# fonte_debian PACKAGE VERSION WORK: unpacks Debian 12's source package PACKAGE (VERSION, or
# the newest when that one is no longer in the archive) into WORK/src, with Debian's patches
# applied, using private apt lists under WORK. Prints the version it took. A WORK that already
# holds an unpacked source (a build cut short) is used as it is.
fonte_debian() {
    local pacote=$1 versao=$2 obra=$3
    # A build cut short resumes on the source it had.
    if [[ -s $obra/src/versao && -d $obra/src/fonte ]]; then
        cat "$obra/src/versao"
        return 0
    fi
    mkdir -p "$obra/srcparts" "$obra/lists/partial" "$obra/cache/archives/partial"
    estrofe() {
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n' "$1" "$2"
        printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n'
    }
    {
        estrofe http://deb.debian.org/debian "bookworm bookworm-updates"
        estrofe http://deb.debian.org/debian-security bookworm-security
    } >"$obra/srcparts/debian-src.sources"
    local apt=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$obra/srcparts"
               -o "Dir::State::Lists=$obra/lists" -o "Dir::Cache=$obra/cache")
    # The private folders are not _apt's to write into.
    [[ $(id -u) != 0 ]] || apt+=(-o APT::Sandbox::User=root)
    apt-get "${apt[@]}" -qq update >&2
    rm -rf "$obra/src"
    mkdir -p "$obra/src"
    (
        cd "$obra/src"
        if ! apt-get "${apt[@]}" -qq source --download-only "$pacote${versao:+=$versao}" >&2; then
            echo "toolchain: $pacote $versao is no longer in the archive; taking the newest" >&2
            apt-get "${apt[@]}" -qq source --download-only "$pacote" >&2
        fi
        local dsc
        dsc=$(ls "$pacote"_*.dsc | head -n1)
        # apt checked the package against the archive's signed index; dpkg-source's own check
        # of the uploader's signature needs keys this machine does not keep.
        dpkg-source -x "$dsc" fonte >"$obra/dpkg-source.log" 2>&1 ||
            { cat "$obra/dpkg-source.log" >&2; return 1; }
        v=${dsc#"$pacote"_}
        echo "${v%.dsc}" >versao
        cat versao
    )
}

# compila_com_progresso NAME BUILD-FOLDER LOG: runs ninja in BUILD-FOLDER with its output in
# LOG, printing one line of progress every 30 s. Fails with the end of the log.
compila_com_progresso() {
    local nome=$1 pasta=$2 log=$3 inicio=$SECONDS
    NINJA_STATUS="[%f/%t] " nice ninja -C "$pasta" -j "$(nproc)" >"$log" 2>&1 &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        sleep 30 &
        wait $! || true
        kill -0 "$pid" 2>/dev/null || break
        local passo
        passo=$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -n1 || true)
        echo "toolchain: $nome: building ${passo:-[starting]}, $(((SECONDS - inicio) / 60)) min"
    done
    if ! wait "$pid"; then
        tail -n 40 "$log" >&2
        echo "toolchain: $nome: the build failed (log: $log)" >&2
        return 1
    fi
    echo "toolchain: $nome: built in $(((SECONDS - inicio) / 60)) min"
}

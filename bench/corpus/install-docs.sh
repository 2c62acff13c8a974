#!/usr/bin/env bash
# Installs (as root, from Debian) the documentation packages whose HTML
# pages make up the real-page corpus, html5lib for reading pages, and the
# validators that run_corpus.py --validate uses (OpenSP with the W3C DTDs,
# xmllint). Safe to run again.
#
# A documentation package is never allowed to remove anything: when
# installing it would (nodejs-doc conflicts with a nodejs that is not
# Debian's own), its .deb is downloaded and unpacked under
# ${VARNEL_CORPUS_EXTRACTED:-/var/tmp/varnel-corpus-debs}/<package>/
# instead, where run_corpus.py finds it.
set -eu
export DEBIAN_FRONTEND=noninteractive
extracted=${VARNEL_CORPUS_EXTRACTED:-/var/tmp/varnel-corpus-debs}
docs=(apache2-doc python3-doc postgresql-doc-15 sqlite3-doc vim-doc zsh-doc nodejs-doc
      debian-reference-en debian-faq bind9-doc debian-policy)
tools=(python3-html5lib opensp w3c-sgml-lib libxml2-utils)

apt-get update
apt-get install -y --no-install-recommends --no-remove "${tools[@]}"
for p in "${docs[@]}"; do
  if ! apt-get install -y --no-install-recommends --no-remove "$p"; then
    echo "install-docs: $p would remove packages; unpacking it under $extracted/$p instead"
    mkdir -p "$extracted/$p"
    (cd "$extracted" && apt-get download "$p" && dpkg-deb -x "$p"_*.deb "$p")
  fi
done

#!/usr/bin/python3
"""Helpers for bench/key_check.sh.

  key_midi.py midi SOURCE OUT.mid       a piece as a MIDI file: FILE.mid, FILE.mid.gz or FILE.abc#X
  key_midi.py vet SOURCE...             key signature and the evidence for it, one line a piece
  key_midi.py name PACKAGE PATH         the rendered file's name for a piece
  key_midi.py score LIST RESULTS [SET]  key scores per set from the piece list and analyse's output

Keys are written "A minor", "Eb major"; sharps and flats both read.
"""
import collections
import gzip
import os
import subprocess
import sys
import tempfile

NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B']
# The CLI's spelling may differ from a list's (Db for C#); both name the same pitch class.
FLATS = {'Db': 'C#', 'Eb': 'D#', 'Gb': 'F#', 'Ab': 'G#', 'Bb': 'A#', 'Cb': 'B', 'Fb': 'E',
         'E#': 'F', 'B#': 'C'}


def parse_key(text):
    """'A minor' -> 21, 'C major' -> 0, '-' -> None."""
    parts = text.split()
    if len(parts) != 2 or parts[1] not in ('major', 'minor'):
        return None
    tonic = NAMES.index(FLATS.get(parts[0], parts[0]))
    return tonic + (12 if parts[1] == 'minor' else 0)


def key_text(key):
    return NAMES[key % 12] + (' minor' if key >= 12 else ' major')


# ---- reading a standard MIDI file, just far enough for notes and key signatures ----

def midi_bytes(source):
    """The MIDI file a piece's source stands for; an ABC tune goes through abc2midi."""
    if '#' in source:
        path, tune = source.rsplit('#', 1)
        with tempfile.TemporaryDirectory() as scratch:
            out = os.path.join(scratch, 'tune.mid')
            subprocess.run(['abc2midi', path, tune, '-o', out], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return open(out, 'rb').read()
    data = open(source, 'rb').read()
    if data[:2] == b'\x1f\x8b':
        data = gzip.decompress(data)
    return data



def read_vlq(data, i):
    """A MIDI variable-length number at data[i]: its value and the index after it."""
    value = 0
    while True:
        b = data[i]
        i += 1
        value = (value << 7) | (b & 0x7f)
        if b < 0x80:
            return value, i

def read_midi(source):
    data = midi_bytes(source)
    if data[:4] == b'RIFF':  # RMID wrapper
        data = data[data.index(b'MThd'):]
    if data[:4] != b'MThd':
        raise ValueError('not a MIDI file')
    division = int.from_bytes(data[12:14], 'big')
    if division & 0x8000:
        raise ValueError('SMPTE time is not handled')
    pos = 8 + int.from_bytes(data[4:8], 'big')
    events = []  # (tick, order, kind, payload)
    order = 0
    while pos + 8 <= len(data):
        kind, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], 'big')
        track = data[pos + 8:pos + 8 + size]
        pos += 8 + size
        if kind != b'MTrk':
            continue
        i, tick, status = 0, 0, 0
        while i < len(track):
            delta, i = read_vlq(track, i)
            tick += delta
            if track[i] >= 0x80:
                status = track[i]
                i += 1
            if status == 0xff:
                meta = track[i]
                i += 1
                length, i = read_vlq(track, i)
                body = track[i:i + length]
                i += length
                if meta == 0x51 and length == 3:
                    events.append((tick, order, 'tempo', int.from_bytes(body, 'big')))
                elif meta == 0x59 and length == 2:
                    sf = body[0] - 256 if body[0] > 127 else body[0]
                    events.append((tick, order, 'key', (sf, body[1])))
                elif meta == 0x2f:
                    break
            elif status in (0xf0, 0xf7):
                length, i = read_vlq(track, i)
                i += length
            else:
                high, channel = status & 0xf0, status & 0x0f
                if high in (0xc0, 0xd0):
                    i += 1
                    continue
                a, b = track[i], track[i + 1]
                i += 2
                if high == 0x90 and b > 0:
                    events.append((tick, order, 'on', (channel, a)))
                elif high == 0x80 or (high == 0x90 and b == 0):
                    events.append((tick, order, 'off', (channel, a)))
            order += 1
    events.sort()
    # Ticks to seconds through the tempo map.
    seconds, last_tick, tempo = 0.0, 0, 500000
    timed = []
    for tick, _, kind, payload in events:
        seconds += (tick - last_tick) * tempo / 1e6 / division
        last_tick = tick
        if kind == 'tempo':
            tempo = payload
        else:
            timed.append((seconds, kind, payload))
    return timed


def notes_of(timed):
    """Pitched notes as (start, end, note); the drum channel is left out."""
    sounding = collections.defaultdict(list)
    notes = []
    for t, kind, payload in timed:
        if kind not in ('on', 'off') or payload[0] == 9:
            continue
        if kind == 'on':
            sounding[payload].append(t)
        elif sounding[payload]:
            notes.append((sounding[payload].pop(0), t, payload[1]))
    end = max((t for t, _, _ in timed), default=0)
    for (channel, note), starts in sounding.items():
        notes.extend((s, end, note) for s in starts)
    return sorted(notes)


def vet(path):
    """The key signature, and what the notes say about it."""
    timed = read_midi(path)
    # An ABC tune's key field is written by hand for every tune, never left at a default.
    explicit = '#' in path
    keys = [(round(t, 1), payload) for t, kind, payload in timed if kind == 'key']
    notes = notes_of(timed)
    if not notes:
        return {'verdict': 'no notes'}
    distinct = sorted(set(k for _, k in keys))
    first_onset = notes[0][0]
    last_onset = max(s for s, _, _ in notes)
    opening = [n for s, e, n in notes if s <= first_onset + 0.25]
    # The closing sonority: what starts in the last quarter second of onsets, or still sounds.
    closing = [n for s, e, n in notes if s >= last_onset - 0.25 or e > last_onset + 0.05]
    weight = [0.0] * 12
    for s, e, n in notes:
        weight[n % 12] += max(0.05, min(e - s, 4.0))
    total = sum(weight)
    result = {
        'signatures': distinct,
        'first_bass': min(opening) % 12,
        'last_bass': min(closing) % 12,
        'closing': sorted(set(n % 12 for n in closing)),
        'length': max(e for _, e, _ in notes),
    }
    if not keys:
        result['verdict'] = 'no key signature'
        return result
    if len(distinct) > 1:
        result['verdict'] = 'key changes'
        return result
    sf, mode = distinct[0]
    if not -7 <= sf <= 7 or mode not in (0, 1):
        result['verdict'] = 'malformed key signature'
        return result
    major = (sf * 7) % 12
    minor = (major + 9) % 12
    diatonic = {(major + d) % 12 for d in (0, 2, 4, 5, 7, 9, 11)}
    # Harmonic and melodic minor raise the seventh and sixth; they still belong to the key.
    minor_extra = {(minor + 11) % 12, (minor + 9) % 12}
    fit_major = sum(weight[p] for p in diatonic) / total
    fit_minor = sum(weight[p] for p in diatonic | minor_extra) / total
    result.update(fit_major=fit_major, fit_minor=fit_minor)
    last, first = result['last_bass'], result['first_bass']
    # A signature carrying the mode is taken at its word if the piece ends on that tonic; one
    # that says major (often just the default) may end on the relative minor's tonic instead.
    if mode == 1:
        tonic, fit = (minor, fit_minor) if last == minor else (None, 0)
        key = minor + 12
    elif last == major:
        tonic, fit, key = major, fit_major, major
    elif last == minor:
        tonic, fit, key = minor, fit_minor, minor + 12
    else:
        tonic, fit, key = None, 0, None
    result['key'] = key
    if tonic is None:
        result['verdict'] = 'ends off the tonic'
    elif fit < 0.8:
        result['verdict'] = 'notes stray from the signature (%.2f)' % fit
    elif sf == 0 and mode == 0 and not explicit and first != tonic:
        # C major is also the default signature: ask for the opening too.
        result['verdict'] = 'default signature, opening off the tonic'
    else:
        result['verdict'] = 'ok'
    return result


def cmd_vet(paths):
    for path in paths:
        try:
            r = vet(path)
        except Exception as e:  # a broken file is reported, not fatal
            print('%s\terror: %s' % (path, e))
            continue
        sig = ','.join('%+d%s' % (sf, 'm' if mi == 1 else '') for sf, mi in r.get('signatures', []))
        key = key_text(r['key']) if r.get('key') is not None else '-'
        print('\t'.join([path, r['verdict'], key, 'sig=' + sig,
                         'first=' + NAMES[r.get('first_bass', 0)],
                         'last=' + NAMES[r.get('last_bass', 0)],
                         'close=' + ' '.join(NAMES[p] for p in r.get('closing', [])),
                         'fit=%.2f/%.2f' % (r.get('fit_major', 0), r.get('fit_minor', 0)),
                         'len=%.0f' % r.get('length', 0)]))


# ---- scoring ----

def relation(expected, found):
    """'exact', 'fifth', 'relative', 'parallel', 'other' or 'none'."""
    if found is None:
        return 'none'
    if found == expected:
        return 'exact'
    same_mode = (found >= 12) == (expected >= 12)
    if same_mode and (found - expected) % 12 in (5, 7):
        return 'fifth'
    if not same_mode:
        major, minor = (expected, found) if expected < 12 else (found, expected)
        if (major + 9) % 12 == minor % 12:
            return 'relative'
        if major % 12 == minor % 12:
            return 'parallel'
    return 'other'


WEIGHT = {'exact': 1.0, 'fifth': 0.5, 'relative': 0.3, 'parallel': 0.2, 'other': 0.0, 'none': 0.0}


def cmd_score(list_path, results_path, show):
    pieces = []
    for line in open(list_path):
        line = line.rstrip('\n')
        if not line or line.startswith('#'):
            continue
        package, path, expected, group = line.split('\t')
        pieces.append((package, path, parse_key(expected), group))
    # analyse prints a header line; its key column reads "8A A minor" or "-".
    found = {}
    with open(results_path) as results:
        header = results.readline().rstrip('\n').split('\t')
        if 'key' not in header or 'file' not in header:
            sys.exit('kelvra-cli analyse printed no key column: %s' % ' '.join(header))
        key_at, file_at = header.index('key'), header.index('file')
        for line in results:
            fields = line.rstrip('\n').split('\t')
            if len(fields) == len(header):
                key = fields[key_at].split(' ', 1)
                found[os.path.basename(fields[file_at])] = parse_key(key[1]) if len(key) == 2 else None
    groups = collections.OrderedDict()
    for package, path, expected, group in pieces:
        name = piece_name(package, path)
        if name not in found:
            print('missing result for %s' % name, file=sys.stderr)
            continue
        kind = relation(expected, found[name])
        groups.setdefault(group, []).append((name, expected, found[name], kind))
    for group in show or groups:
        rows = groups.get(group, [])
        if not rows:
            continue
        count = collections.Counter(kind for *_, kind in rows)
        n = len(rows)
        score = sum(WEIGHT[kind] for *_, kind in rows) / n
        print('%s: %d pieces  exact %d (%.0f%%)  fifth %d  relative %d  parallel %d  other %d  '
              'no key %d  weighted %.3f' % (
                  group, n, count['exact'], 100.0 * count['exact'] / n, count['fifth'],
                  count['relative'], count['parallel'], count['other'], count['none'], score))
        for name, expected, got, kind in rows:
            if kind != 'exact':
                print('  %-8s %-60s expected %-9s found %s' % (
                    kind, name, key_text(expected), key_text(got) if got is not None else '-'))


def piece_name(package, path):
    """The rendered file's name for a piece: unique across packages, no folders."""
    stem, _, tune = path.rsplit('/', 1)[-1].partition('#')
    for suffix in ('.gz', '.mid', '.midi', '.MID', '.kar', '.abc'):
        if stem.endswith(suffix):
            stem = stem[:-len(suffix)]
    return '%s__%s%s.wav' % (package, stem, '__' + tune if tune else '')


def cmd_midi(source, out):
    with open(out, 'wb') as f:
        f.write(midi_bytes(source))


if __name__ == '__main__':
    if len(sys.argv) >= 3 and sys.argv[1] == 'vet':
        cmd_vet(sys.argv[2:])
    elif len(sys.argv) >= 4 and sys.argv[1] == 'score':
        cmd_score(sys.argv[2], sys.argv[3], sys.argv[4:])
    elif len(sys.argv) == 4 and sys.argv[1] == 'midi':
        cmd_midi(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == 'name':
        print(piece_name(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)

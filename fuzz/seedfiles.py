"""Writing seed files, shared by the seed scripts: one file a seed, named after its content, in
fuzz/corpus/<target>/."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for seed in seeds:
        data = seed if isinstance(seed, bytes) else seed.encode()
        name = "seed-" + hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

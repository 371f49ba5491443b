"""What a campaign has done so far, kept in its findings folder so that
`--resume` goes on where it stopped: which batches of cases ran (a batch is
a fixed range of seeds, so the same batch holds the same cases again), the
counts, and the groups of findings with their reports."""
import json
import os

STATE = "campaign.json"


class Campaign:
    def __init__(self, seed, batch, platform):
        self.seed, self.batch, self.platform = seed, batch, platform
        self.done = set()             # indexes of the batches that ran
        self.cases = self.agree = self.known = self.differ = self.skipped = self.programs = 0
        self.seconds = 0.0
        self.groups = []              # [{"signature", "seeds", "report", "detail"}]

    def group(self, signature):
        key = json.loads(json.dumps(signature))
        for g in self.groups:
            if g["signature"] == key:
                return g
        return None

    def add_group(self, signature, seed, detail, report=None):
        g = {"signature": json.loads(json.dumps(signature)), "seeds": [seed], "detail": detail, "report": report}
        self.groups.append(g)
        return g

    def save(self, folder):
        data = dict(self.__dict__, done=sorted(self.done))
        tmp = os.path.join(folder, STATE + ".new")
        with open(tmp, "w") as f:
            json.dump(data, f, indent=1)
        os.replace(tmp, os.path.join(folder, STATE))


def load(folder):
    """The campaign saved in folder; ValueError when there is none."""
    path = os.path.join(folder, STATE)
    try:
        with open(path) as f:
            data = json.load(f)
    except OSError as e:
        raise ValueError(f"{path}: no campaign to resume ({e.strerror})")
    except json.JSONDecodeError as e:
        raise ValueError(f"{path}: not a campaign's state ({e})")
    c = Campaign(data["seed"], data["batch"], data["platform"])
    for k, v in data.items():
        setattr(c, k, v)
    c.done = set(data["done"])
    return c

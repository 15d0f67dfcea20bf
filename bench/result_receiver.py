"""The receiving system of the result files, for the scripts that run Kestrin under trouble."""
import os
import threading
import time


class Receiver(threading.Thread):
    """Takes each published result file away, as the receiving system does, and counts it: a
    file received twice is kept twice, as "<name>#<count>" in the folder `received`."""

    def __init__(self, folder, received):
        super().__init__(daemon=True)
        self.folder, self.received, self.count, self.stop = folder, received, 0, False

    def run(self):
        while not self.stop:
            self.sweep()
            time.sleep(0.02)
        self.sweep()

    def sweep(self):
        for name in os.listdir(self.folder):
            self.count += 1
            try:
                os.rename(os.path.join(self.folder, name), os.path.join(self.received, f"{name}#{self.count}"))
            except FileNotFoundError:
                pass

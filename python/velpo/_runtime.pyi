# The extension module under velpo.Host; see python/src/RuntimeModule.cpp.
from typing import Dict, List, Optional, Tuple, Union

import numpy as np

PLUGIN_FILE_NAME: str
DATA_LONG: int
DATA_FLOAT: int
DATA_VECTOR3: int

Column = Tuple[str, int, int, str]
Log = List[Tuple[str, str]]

def export_columns(settings: str) -> List[Column]: ...
def import_columns(settings: str) -> List[Column]: ...

class Host:
    @staticmethod
    def open(plugin: bytes) -> Union[Host, str]: ...
    @property
    def path(self) -> str: ...
    def export(
        self, settings: str, frame: int, count: int, inputs: List[Tuple[int, int, np.ndarray, bool]], threads: int
    ) -> Tuple[Optional[str], Log]: ...
    def import_(
        self, settings: str, frame: int, ports: List[int], threads: int
    ) -> Tuple[Optional[str], int, Dict[int, np.ndarray], Log]: ...

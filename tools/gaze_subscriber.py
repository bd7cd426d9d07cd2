#!/usr/bin/python3
"""Prints the gaze stream of pupiltrak08 or pupiltrak08-replay --stream (see docs/STREAM.md).

usage: gaze_subscriber.py [ENDPOINT] [TOPIC...]   (default tcp://127.0.0.1:5570, every topic)
Needs python3-zmq.
"""
import json
import sys

import zmq


def main():
    endpoint = sys.argv[1] if len(sys.argv) > 1 else "tcp://127.0.0.1:5570"
    topics = sys.argv[2:] or ["gaze", "calibration", "accuracy"]
    socket = zmq.Context().socket(zmq.SUB)
    socket.connect(endpoint)
    for topic in topics:
        socket.setsockopt_string(zmq.SUBSCRIBE, topic)
    print(f"listening on {endpoint} for {', '.join(topics)} (Ctrl-C ends)", file=sys.stderr)
    try:
        while True:
            topic, body = socket.recv_multipart()
            message = json.loads(body)
            if topic == b"gaze":
                gaze = message["gaze"]
                where = f"gaze {gaze[0]:7.1f} {gaze[1]:7.1f}" if gaze else "gaze   none"
                vectors = " ".join(
                    f"{k}={message[k]:+.2f}" if message[k] is not None else f"{k}=-"
                    for k in ("dxL", "dyL", "dxR", "dyR"))
                print(f"frame {message['frame']:6d}  face {int(message['face']['found'])}  "
                      f"{vectors}  blink {int(message['blink'])}  {where}")
            else:
                print(topic.decode(), json.dumps(message, indent=1))
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
